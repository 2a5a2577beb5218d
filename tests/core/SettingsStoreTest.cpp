#include <gtest/gtest.h>

#include <functional>

#include <QFile>
#include <QFileInfo>

#include "FailingFileLayer.h"
#include "SettingsStore.h"
#include "TempRoot.h"

namespace {

QString tarvoHive(const QString& values) {
    return QString::fromLatin1(kTarvoSection) + values;
}

} // namespace

TEST(SettingsStore, MissingSettingsReadAsTheirDefaults) {
    TempRoot root;
    const SettingsStore store(root.hives(), RegistryRoot::CurrentUser);
    EXPECT_EQ(store.read(Setting::CommunicationProtocol), "XML");
    EXPECT_EQ(store.read(Setting::Port), 13000);
    EXPECT_EQ(store.read(Setting::PortOther), 13000);
    EXPECT_EQ(store.read(Setting::ClientSocketPort), 13999);
    EXPECT_EQ(store.read(Setting::CommunicationTimeout), 10);
    EXPECT_EQ(store.read(Setting::MessageMaxValue), 20);
    EXPECT_EQ(store.read(Setting::Interval), 30);
    EXPECT_EQ(store.read(Setting::MedianFilterValue), 15);
    EXPECT_EQ(store.read(Setting::TimerInterval), 1000);
    EXPECT_EQ(store.read(Setting::FilterFunction), "Median");
    EXPECT_EQ(store.read(Setting::DebugFolder), "");
    EXPECT_FALSE(store.read(Setting::AutoStart));
    EXPECT_FALSE(store.read(Setting::NoOrvanta));
    EXPECT_TRUE(store.read(Setting::Automatic));
    EXPECT_TRUE(store.read(Setting::UseTarvoSettings));
    EXPECT_FALSE(store.readBool(QStringLiteral("NoSuchValue")));
    EXPECT_EQ(store.readInteger(QStringLiteral("NoSuchValue"), 77), 77);
    EXPECT_EQ(store.readText(QStringLiteral("NoSuchValue")), "");
}

TEST(SettingsStore, ValuesOfTheWrongTypeReadAsTheirDefaults) {
    TempRoot root;
    root.writeHive(RegistryRoot::CurrentUser,
                   tarvoHive("Port=13500\n"             // text where an integer belongs
                             "HostOther=dword:5\n"      // integer where a text belongs
                             "AutoStart=yes\n"          // text where a boolean belongs
                             "UseTarvoSettings=false\n" // text: default true stays
                             "PortOther=dword:banana\n" // not a number: a text
                             "CommunicationTimeout=dword:30\n"));
    const SettingsStore store(root.hives(), RegistryRoot::CurrentUser);
    EXPECT_EQ(store.read(Setting::Port), 13000);
    EXPECT_EQ(store.read(Setting::HostOther), "");
    EXPECT_FALSE(store.read(Setting::AutoStart));
    EXPECT_TRUE(store.read(Setting::UseTarvoSettings));
    EXPECT_EQ(store.read(Setting::PortOther), 13000);
    EXPECT_EQ(store.read(Setting::CommunicationTimeout), 30);
}

TEST(SettingsStore, IntegersBooleansAndTextsAreReadAsStored) {
    TempRoot root;
    root.writeHive(RegistryRoot::CurrentUser, tarvoHive("Port=dword:0x3200\n"
                                                        "AutoHide=dword:7\n"
                                                        "AutoCreate=dword:0\n"
                                                        "DebugFolder=C:\\Logs\\Tarvo\\\n"
                                                        "HostOther=sz:dword:not a number\n"
                                                        "IDReduction = dword:2 \n"));
    const SettingsStore store(root.hives(), RegistryRoot::CurrentUser);
    EXPECT_EQ(store.read(Setting::Port), 0x3200);
    EXPECT_TRUE(store.read(Setting::AutoHide)) << "any non-zero integer is true";
    EXPECT_FALSE(store.read(Setting::AutoCreate));
    EXPECT_EQ(store.read(Setting::DebugFolder), "C:\\Logs\\Tarvo\\") << "no escape processing";
    EXPECT_EQ(store.read(Setting::HostOther), "dword:not a number");
    EXPECT_EQ(store.read(Setting::IDReduction), 2);
}

TEST(SettingsStore, WritersCreateTheKeyAndKeepTypes) {
    TempRoot root;
    const SettingsStore store(root.hives(), RegistryRoot::CurrentUser);
    store.writeInteger(QStringLiteral("Port"), 14000);
    store.writeBool(QStringLiteral("AutoStart"), true);
    store.writeText(QStringLiteral("HostOther"), QStringLiteral("lab-dm.local"));
    store.writeText(QStringLiteral("DuplicateToNetworkLocation"), QStringLiteral("dword:12"));
    store.write(Setting::UseTarvoSettings, false);

    const SettingsStore reread(root.hives(), RegistryRoot::CurrentUser);
    EXPECT_EQ(reread.read(Setting::Port), 14000);
    EXPECT_TRUE(reread.read(Setting::AutoStart));
    EXPECT_EQ(reread.read(Setting::HostOther), "lab-dm.local");
    EXPECT_EQ(reread.read(Setting::DuplicateToNetworkLocation), "dword:12");
    EXPECT_FALSE(reread.read(Setting::UseTarvoSettings));
    EXPECT_EQ(reread.readText(QStringLiteral("Port")), "") << "an integer is not a text";

    const QString file =
        QString::fromUtf8(root.readFile(root.hives().fileOf(RegistryRoot::CurrentUser)));
    EXPECT_TRUE(file.contains(
        QStringLiteral("[SOFTWARE\\Keldamed AB\\Panoptra\\External Collect\\1.0\\Tarvo]")));
    EXPECT_TRUE(file.contains(QStringLiteral("Port=dword:14000")));
    EXPECT_TRUE(file.contains(QStringLiteral("AutoStart=dword:1")));

    store.deleteValue(QStringLiteral("Port"));
    EXPECT_EQ(reread.read(Setting::Port), 13000);
    EXPECT_TRUE(reread.valueNames().contains(QStringLiteral("HostOther")));
    EXPECT_FALSE(reread.valueNames().contains(QStringLiteral("Port")));
}

TEST(SettingsStore, HandEditedKeyNamesInOtherLetterCaseStillCount) {
    TempRoot root;
    root.writeHive(RegistryRoot::CurrentUser,
                   "[software\\keldamed ab\\panoptra\\external collect\\1.0\\tarvo]\n"
                   "Port=dword:15000\n");
    EXPECT_EQ(SettingsStore(root.hives(), RegistryRoot::CurrentUser).read(Setting::Port), 15000);
}

TEST(SettingsStore, UnreadableSettingsFileGivesDefaultsAndWritesDoNotThrow) {
    TempRoot root;
    // A folder where the settings file should be: nothing can be read or written.
    root.writeFile(QStringLiteral("HKEY_CURRENT_USER.ini/placeholder"), "x");
    const SettingsStore store(root.hives(), RegistryRoot::CurrentUser);
    EXPECT_EQ(store.read(Setting::Port), 13000);
    store.writeInteger(QStringLiteral("Port"), 14000);
    EXPECT_EQ(store.read(Setting::Port), 13000);
}

TEST(SettingsStore, HkeyChoosesTheRootAndIsReadOnlyFromTheLocalMachine) {
    TempRoot root;
    EXPECT_EQ(SettingsStore::chooseRoot(root.hives()), RegistryRoot::CurrentUser) << "missing";

    root.writeHive(RegistryRoot::LocalMachine, tarvoHive("HKEY=LOCAL_MACHINE\n"));
    EXPECT_EQ(SettingsStore::chooseRoot(root.hives()), RegistryRoot::LocalMachine);

    root.writeHive(RegistryRoot::LocalMachine, tarvoHive("HKEY=CURRENT_USER\n"));
    EXPECT_EQ(SettingsStore::chooseRoot(root.hives()), RegistryRoot::CurrentUser);

    root.writeHive(RegistryRoot::LocalMachine, tarvoHive("HKEY=local_machine\n"));
    EXPECT_EQ(SettingsStore::chooseRoot(root.hives()), RegistryRoot::CurrentUser)
        << "only the exact text selects the local machine";

    root.writeHive(RegistryRoot::LocalMachine, QString());
    root.writeHive(RegistryRoot::CurrentUser, tarvoHive("HKEY=LOCAL_MACHINE\n"));
    EXPECT_EQ(SettingsStore::chooseRoot(root.hives()), RegistryRoot::CurrentUser)
        << "HKEY under the current user is not consulted";
}

TEST(SettingsStore, EachRootKeepsItsOwnValues) {
    TempRoot root;
    root.writeHive(RegistryRoot::LocalMachine, tarvoHive("Port=dword:14001\n"));
    root.writeHive(RegistryRoot::CurrentUser, tarvoHive("Port=dword:14002\n"));
    EXPECT_EQ(SettingsStore(root.hives(), RegistryRoot::LocalMachine).read(Setting::Port), 14001);
    EXPECT_EQ(SettingsStore(root.hives(), RegistryRoot::CurrentUser).read(Setting::Port), 14002);
}

namespace {

// Texts that would change the settings file's structure if written literally.
const QStringList& hostileTexts() {
    static const QStringList texts = {
        QStringLiteral("x\nDebugFolder=/tmp/elsewhere/\nDuplicateXMLFiles=dword:1"),
        QStringLiteral("x\r\n[SOFTWARE\\Other]\r\nAutoStart=dword:0"),
        QStringLiteral("[SOFTWARE\\Keldamed AB\\Panoptra\\External Collect\\1.0\\Tarvo]"),
        QStringLiteral("  leading and trailing blanks\t "),
        QStringLiteral("tab\tbell\aescape\x1b del\x7f nul") + QChar(u'\0') + QStringLiteral("end"),
        QStringLiteral("esc:%41%0A"),
        QStringLiteral("sz:text"),
        QStringLiteral("dword:1"),
        QStringLiteral("50% off %u0041"),
        QStringLiteral("C:\\TCA\\DATA\\"),
        QStringLiteral("line\u2028separator\u00a0"),
        QString(QChar(0xD800)) + QStringLiteral("lone surrogate"),
        QStringLiteral("Åsa Öberg ^ 😀"),
        QStringLiteral(";comment"),
        QString(),
    };
    return texts;
}

} // namespace

TEST(SettingsStore, EveryTextReadsBackExactlyAfterARestartAndAddsNoSetting) {
    TempRoot root;
    root.writeHive(RegistryRoot::CurrentUser,
                   tarvoHive("DebugFolder=C:\\TCA\\LOG\\\nAutoStart=dword:1\nAutoCreate=dword:1\n"
                             "Port=dword:14000\n"));
    {
        const SettingsStore store(root.hives(), RegistryRoot::CurrentUser);
        for (int i = 0; i < hostileTexts().size(); ++i)
            store.writeText(QStringLiteral("Patient%1").arg(i + 1), hostileTexts()[i]);
    }
    // A new run reads the file anew.
    const RegistryHives hives(root.hives().fileOf(RegistryRoot::CurrentUser),
                              root.hives().fileOf(RegistryRoot::LocalMachine));
    const SettingsStore reread(hives, RegistryRoot::CurrentUser);
    for (int i = 0; i < hostileTexts().size(); ++i) {
        const QVariant value =
            readRegistryValue(hives, RegistryRoot::CurrentUser, QLatin1String(Setting::kKeyPath),
                              QStringLiteral("Patient%1").arg(i + 1));
        EXPECT_EQ(value.metaType().id(), QMetaType::QString) << i;
        EXPECT_EQ(value.toString(), hostileTexts()[i]) << i;
    }
    EXPECT_EQ(reread.read(Setting::DebugFolder), "C:\\TCA\\LOG\\");
    EXPECT_FALSE(reread.read(Setting::DuplicateXMLFiles));
    EXPECT_TRUE(reread.read(Setting::AutoStart));
    EXPECT_TRUE(reread.read(Setting::AutoCreate));
    EXPECT_EQ(reread.read(Setting::Port), 14000);
    EXPECT_EQ(reread.valueNames().size(), 4 + hostileTexts().size());
    EXPECT_FALSE(hives.keyExists(RegistryRoot::CurrentUser, QStringLiteral("SOFTWARE\\Other")));
}

TEST(SettingsStore, FilesWrittenBeforeEscapingReadAsTheyDid) {
    TempRoot root;
    root.writeHive(
        RegistryRoot::CurrentUser,
        tarvoHive("DebugFolder=C:\\TEMP\\new\\\nHostOther=50%41\n"
                  "IPString=sz:dword:5\nDuplicateToNetworkLocation=\\\\server\\share\\\n"));
    const SettingsStore store(root.hives(), RegistryRoot::CurrentUser);
    EXPECT_EQ(store.read(Setting::DebugFolder), "C:\\TEMP\\new\\");
    EXPECT_EQ(store.read(Setting::HostOther), "50%41");
    EXPECT_EQ(store.read(Setting::IPString), "dword:5");
    EXPECT_EQ(store.read(Setting::DuplicateToNetworkLocation), "\\\\server\\share\\");
    // Texts that need no escape are still written as they are.
    store.writeText(QStringLiteral("HostOther"), QStringLiteral("C:\\TCA\\DATA\\"));
    EXPECT_TRUE(QString::fromUtf8(root.readFile(root.hives().fileOf(RegistryRoot::CurrentUser)))
                    .contains(QStringLiteral("\nHostOther=C:\\TCA\\DATA\\\n")));
}

TEST(SettingsStore, AWriteThatFailsKeepsTheFileAndIsReported) {
    using Step = FailingFileLayer::Step;
    for (const Step step :
         {Step::Write, Step::ShortWrite, Step::LostWrite, Step::Flush, Step::Commit}) {
        TempRoot root;
        root.writeHive(RegistryRoot::CurrentUser,
                       tarvoHive("Port=dword:14000\nAutoStart=dword:1\nAutoCreate=dword:1\n"));
        const QString file = root.hives().fileOf(RegistryRoot::CurrentUser);
        const QByteArray before = root.readFile(file);
        RegistryHives hives(file, root.hives().fileOf(RegistryRoot::LocalMachine));
        QStringList reported;
        hives.setFailureReporter([&](const QString& line) { reported << line; });
        const SettingsStore store(hives, RegistryRoot::CurrentUser);
        {
            FailingFileLayer layer(step);
            store.writeText(QStringLiteral("Patient1"), QStringLiteral("A^B^C^20261208120000^1"));
        }
        EXPECT_EQ(root.readFile(file), before) << int(step);
        ASSERT_EQ(reported.size(), 1) << int(step);
        EXPECT_TRUE(reported[0].contains(file)) << reported[0].toStdString();
        const SettingsStore reread(root.hives(), RegistryRoot::CurrentUser);
        EXPECT_EQ(reread.read(Setting::Port), 14000);
        EXPECT_TRUE(reread.read(Setting::AutoStart));
        EXPECT_TRUE(reread.readText(QStringLiteral("Patient1")).isEmpty());
        // Once the disk takes writes again, the next write holds everything.
        store.writeText(QStringLiteral("Patient1"), QStringLiteral("A^B^C^20261208120000^1"));
        EXPECT_EQ(reread.readText(QStringLiteral("Patient1")), "A^B^C^20261208120000^1");
        EXPECT_EQ(reread.read(Setting::Port), 14000);
    }
}

namespace {

// A settings file that exists but cannot be read, as a disk or an editor leaves one.
struct UnreadableHive {
    const char* what;
    std::function<void(const QString& file)> make;
};

const std::vector<UnreadableHive>& unreadableHives() {
    static const std::vector<UnreadableHive> hives = {
        {"oversize",
         [](const QString& file) {
             QFile out(file);
             ASSERT_TRUE(out.open(QIODevice::WriteOnly));
             out.write(kTarvoSection);
             out.write("Port=dword:13000\n");
             ASSERT_TRUE(out.resize(RegistryHives::kLargestHive + 1)); // a sparse tail
         }},
        {"zeroed after a power cut",
         [](const QString& file) {
             QFile out(file);
             ASSERT_TRUE(out.open(QIODevice::WriteOnly));
             out.write(QByteArray(4096, '\0'));
         }},
        {"not UTF-8",
         [](const QString& file) {
             QFile out(file);
             ASSERT_TRUE(out.open(QIODevice::WriteOnly));
             out.write(QByteArray(kTarvoSection) + "Port=dword:13000\n\xff\xfe\x80garbage\n");
         }},
        {"a line that is no value",
         [](const QString& file) {
             QFile out(file);
             ASSERT_TRUE(out.open(QIODevice::WriteOnly));
             out.write(QByteArray(kTarvoSection) + "Port dword:13000\n");
         }},
    };
    return hives;
}

} // namespace

TEST(SettingsStore, EverySuccessfulWriteLeavesALastGoodCopy) {
    TempRoot root;
    const SettingsStore store(root.hives(), RegistryRoot::CurrentUser);
    store.writeInteger(QStringLiteral("Port"), 14000);
    const QString file = root.hives().fileOf(RegistryRoot::CurrentUser);
    EXPECT_EQ(root.readFile(RegistryHives::lastGoodFileOf(file)), root.readFile(file));
    store.writeText(QStringLiteral("AllowedPeers"), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(root.readFile(RegistryHives::lastGoodFileOf(file)), root.readFile(file));
}

TEST(SettingsStore, AnUnreadableFileIsReplacedByItsLastGoodCopyNeverByDefaults) {
    for (const UnreadableHive& damage : unreadableHives()) {
        TempRoot root;
        const QString file = root.hives().fileOf(RegistryRoot::CurrentUser);
        {
            const SettingsStore store(root.hives(), RegistryRoot::CurrentUser);
            store.writeInteger(QStringLiteral("Port"), 14000);
            store.writeText(QStringLiteral("AllowedPeers"), QStringLiteral("127.0.0.1"));
        }
        damage.make(file);
        const RegistryHives hives(file, root.hives().fileOf(RegistryRoot::LocalMachine));
        const SettingsStore store(hives, RegistryRoot::CurrentUser);
        // Until start-up recovers, reads already take the last good copy.
        EXPECT_EQ(store.read(Setting::Port), 14000) << damage.what;

        const RegistryHives::Recovery recovery = hives.recover(RegistryRoot::CurrentUser);
        EXPECT_EQ(recovery.outcome, RegistryHives::Recovery::Outcome::Restored) << damage.what;
        EXPECT_TRUE(recovery.text.contains(file)) << recovery.text.toStdString();
        EXPECT_TRUE(QFileInfo::exists(file + QLatin1String(RegistryHives::kDamagedSuffix)))
            << damage.what;
        EXPECT_EQ(store.read(Setting::Port), 14000) << damage.what;
        EXPECT_EQ(store.read(Setting::AllowedPeers), "127.0.0.1") << damage.what;
        store.writeBool(QStringLiteral("AutoStart"), true);
        const RegistryHives fresh(file, root.hives().fileOf(RegistryRoot::LocalMachine));
        EXPECT_TRUE(SettingsStore(fresh, RegistryRoot::CurrentUser).read(Setting::AutoStart))
            << damage.what << ": the restored file takes writes again";
    }
}

TEST(SettingsStore, AnUnreadableFileWithoutACopyIsLeftAsItIsAndReported) {
    for (const UnreadableHive& damage : unreadableHives()) {
        TempRoot root;
        const QString file = root.hives().fileOf(RegistryRoot::CurrentUser);
        damage.make(file);
        const qint64 size = QFileInfo(file).size();
        const RegistryHives::Recovery recovery = root.hives().recover(RegistryRoot::CurrentUser);
        EXPECT_EQ(recovery.outcome, RegistryHives::Recovery::Outcome::Unreadable) << damage.what;
        EXPECT_TRUE(recovery.text.contains(file)) << recovery.text.toStdString();
        EXPECT_EQ(QFileInfo(file).size(), size) << damage.what;
        // Nothing is written over it either.
        QStringList reported;
        RegistryHives hives(file, root.hives().fileOf(RegistryRoot::LocalMachine));
        hives.setFailureReporter([&](const QString& line) { reported << line; });
        SettingsStore(hives, RegistryRoot::CurrentUser).writeInteger(QStringLiteral("Port"), 1);
        EXPECT_EQ(QFileInfo(file).size(), size) << damage.what;
        EXPECT_EQ(reported.size(), 1) << damage.what;
    }
}

TEST(SettingsStore, AFirstStartHasNothingToRecoverAndAGoodFileRenewsItsCopy) {
    TempRoot root;
    EXPECT_EQ(root.hives().recover(RegistryRoot::CurrentUser).outcome,
              RegistryHives::Recovery::Outcome::Absent);
    // A file edited by hand since the last save is the new last good copy.
    root.writeHive(RegistryRoot::CurrentUser, tarvoHive("Port=dword:14000\n"));
    const QString file = root.hives().fileOf(RegistryRoot::CurrentUser);
    EXPECT_EQ(root.hives().recover(RegistryRoot::CurrentUser).outcome,
              RegistryHives::Recovery::Outcome::Good);
    EXPECT_EQ(root.readFile(RegistryHives::lastGoodFileOf(file)), root.readFile(file));
    // A file that went missing while its copy stayed comes back from the copy.
    QFile::remove(file);
    EXPECT_EQ(root.hives().recover(RegistryRoot::CurrentUser).outcome,
              RegistryHives::Recovery::Outcome::Restored);
    EXPECT_EQ(SettingsStore(root.hives(), RegistryRoot::CurrentUser).read(Setting::Port), 14000);
}

TEST(SettingsStore, AByteOrderMarkIsNoDamage) {
    TempRoot root;
    root.writeFile(QStringLiteral("HKEY_CURRENT_USER.ini"),
                   QByteArray("\xef\xbb\xbf") + kTarvoSection + "Port=dword:14000\n");
    EXPECT_EQ(root.hives().recover(RegistryRoot::CurrentUser).outcome,
              RegistryHives::Recovery::Outcome::Good);
    EXPECT_EQ(SettingsStore(root.hives(), RegistryRoot::CurrentUser).read(Setting::Port), 14000);
}
