#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include "DataPathResolver.h"
#include "IniFile.h"
#include "TempRoot.h"

namespace {

struct Resolution {
    QString result;
    QStringList log;
};

Resolution resolveData(const TempRoot& root,
                       RegistryRoot settingsRoot = RegistryRoot::CurrentUser) {
    Resolution resolution;
    const DataPathResolver resolver(
        root.layout(), root.hives(), settingsRoot,
        [&](const QString& line, LogSeverity) { resolution.log << line; });
    resolution.result = resolver.resolve(QStringLiteral("DATA\\"));
    return resolution;
}

const char* kFilePaths20 = "[Software\\Keldamed AB\\Orvanta\\2.0\\File Paths]\n";
const char* kFilePaths10 = "[Software\\Keldamed AB\\Orvanta\\1.0\\File Paths]\n";

} // namespace

TEST(DataPathResolver, WithoutIniOrRegistryFallsBackBelowDriveC) {
    TempRoot root;
    const Resolution r = resolveData(root);
    EXPECT_EQ(r.result, root.driveC("TCA/DATA/"));
    const QStringList expected = {
        QStringLiteral("Trying to open ") + root.layout().iniFolder + "TarvoCollect.Ini",
        QStringLiteral("Trying to open the Orvanta 2.0 registry File path"),
        QStringLiteral("Trying to open the Orvanta 1.0 registry File path"),
        QStringLiteral("Falling back to default value"),
        QStringLiteral("Orvanta TCAData final value = ") + root.driveC("TCA/DATA/"),
    };
    EXPECT_EQ(r.log, expected);
}

TEST(DataPathResolver, IniValueHasItsLastComponentReplaced) {
    TempRoot root;
    const QString ini = root.writeFile(QStringLiteral("TarvoCollect.Ini"),
                                       "[Orvanta]\r\nTCAData=C:\\Orvanta\\Patients\r\n");
    root.writeHive(RegistryRoot::CurrentUser,
                   QString::fromLatin1(kFilePaths20) + "TCAData=C:\\Elsewhere\\DATA\n");
    const Resolution r = resolveData(root);
    EXPECT_EQ(r.result, root.driveC("Orvanta/DATA/"));
    const QStringList expected = {
        QStringLiteral("Trying to open ") + ini,
        ini + QStringLiteral(" successfully opened"),
        QStringLiteral("Orvanta TarvoCollect.Ini TCAData value = ") + root.driveC("Orvanta"),
        QStringLiteral("Orvanta TCAData final value = ") + root.driveC("Orvanta/DATA/"),
    };
    EXPECT_EQ(r.log, expected) << "the ini file wins over the registry";
}

TEST(DataPathResolver, IniValueEndingInASeparatorIsKeptWhole) {
    TempRoot root;
    root.writeFile(QStringLiteral("TarvoCollect.Ini"),
                   "; written by the installer\n[ORVANTA]\ntcadata = \"/srv/tca/\"\n");
    EXPECT_EQ(resolveData(root).result, QStringLiteral("/srv/tca/DATA/"));
}

TEST(DataPathResolver, IniWithoutTheValueUsesTheDefaultTcaData) {
    TempRoot root;
    root.writeFile(QStringLiteral("TarvoCollect.Ini"), "[Other]\nTCAData=/nowhere/x\n");
    EXPECT_EQ(resolveData(root).result, root.driveC("TCA/DATA/"));
}

TEST(DataPathResolver, Orvanta20RegistryValue) {
    TempRoot root;
    root.writeHive(RegistryRoot::CurrentUser, QString::fromLatin1(kFilePaths20) +
                                                  "TCAData=/data/orvanta/TCADATA\n" + kFilePaths10 +
                                                  "TCAData=/data/old/TCADATA\n");
    const Resolution r = resolveData(root);
    EXPECT_EQ(r.result, QStringLiteral("/data/orvanta/DATA/"));
    EXPECT_TRUE(
        r.log.contains(QStringLiteral("Orvanta 2.0 registry File path successfully opened")));
    EXPECT_TRUE(r.log.contains(QStringLiteral("Orvanta 2.0 TCAData value does exist")));
    EXPECT_TRUE(r.log.contains(QStringLiteral("Orvanta 2.0 TCAData value = /data/orvanta")));
    EXPECT_EQ(r.log.last(),
              QStringLiteral("Orvanta 2.0 TCAData final value = /data/orvanta/DATA/"));
    EXPECT_FALSE(
        r.log.contains(QStringLiteral("Trying to open the Orvanta 1.0 registry File path")));
}

TEST(DataPathResolver, Orvanta20KeyWithoutTheValueUsesDriveC) {
    TempRoot root;
    root.writeHive(RegistryRoot::CurrentUser, QString::fromLatin1(kFilePaths20) + "Other=1\n" +
                                                  kFilePaths10 + "TCAData=/data/old/TCADATA\n");
    const Resolution r = resolveData(root);
    EXPECT_EQ(r.result, root.driveC("TCA/DATA/"));
    EXPECT_FALSE(r.log.contains(QStringLiteral("Orvanta 2.0 TCAData value does exist")));
    EXPECT_EQ(r.log.last(),
              QStringLiteral("Orvanta 2.0 TCAData final value = ") + root.driveC("TCA/DATA/"));
}

TEST(DataPathResolver, Orvanta10KeyWhenThereIsNo20Key) {
    TempRoot root;
    root.writeHive(RegistryRoot::LocalMachine,
                   QString::fromLatin1(kFilePaths10) + "TCAData=C:\\TCA1\\DATA\n");
    const Resolution r = resolveData(root, RegistryRoot::LocalMachine);
    EXPECT_EQ(r.result, root.driveC("TCA1/DATA/"));
    EXPECT_TRUE(
        r.log.contains(QStringLiteral("Trying to open the Orvanta 1.0 registry File path")));
    EXPECT_TRUE(
        r.log.contains(QStringLiteral("Orvanta 1.0 registry File path successfully opened")));
    EXPECT_EQ(r.log.last(),
              QStringLiteral("Orvanta 1.0 TCAData final value = ") + root.driveC("TCA1/DATA/"));

    EXPECT_EQ(resolveData(root, RegistryRoot::CurrentUser).result, root.driveC("TCA/DATA/"))
        << "the keys are read under the settings root only";
}

TEST(DataPathResolver, AnUnreadableIniFileTakesItsLastGoodCopyOrNoFolderAtAll) {
    TempRoot root;
    const QString ini = root.writeFile(QStringLiteral("TarvoCollect.Ini"),
                                       "[Orvanta]\r\nTCAData=D:\\Ward3\\TCADATA\r\n");
    QStringList log;
    const DataPathResolver resolver(root.layout(), root.hives(), RegistryRoot::CurrentUser,
                                    [&log](const QString& line, LogSeverity) { log << line; });
    const QString good = resolver.resolve(QStringLiteral("DATA\\"));
    EXPECT_TRUE(resolver.failure().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(ini + QStringLiteral(".lastgood")));

    // Damaged: the last good copy gives the same folder, with an error line.
    root.writeFile(QStringLiteral("TarvoCollect.Ini"), QByteArray(512, '\0'));
    log.clear();
    EXPECT_EQ(resolver.resolve(QStringLiteral("DATA\\")), good);
    EXPECT_TRUE(resolver.failure().isEmpty());
    EXPECT_EQ(log.filter(QStringLiteral("Error(1): ")).size(), 1) << log.join(u'\n').toStdString();

    // Oversize and without a copy: no folder, and why.
    QFile::remove(ini + QStringLiteral(".lastgood"));
    QFile big(ini);
    ASSERT_TRUE(big.resize(IniFile::kLargestIniFile + 1));
    EXPECT_TRUE(resolver.resolve(QStringLiteral("DATA\\")).isEmpty());
    EXPECT_TRUE(resolver.failure().contains(ini)) << resolver.failure().toStdString();
}
