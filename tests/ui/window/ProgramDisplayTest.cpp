// The program without a display: it runs headless and says so in one line.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include "TempRoot.h"
#include "WaitUntil.h"

namespace {

const QString kProgram = QStringLiteral(TARVO_BIN_DIR "/tarvo-collect");

TEST(ProgramDisplay, WithoutADisplayTheCollectorRunsHeadless) {
    TempRoot root;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    root.writeHive(RegistryRoot::CurrentUser,
                   QString::fromLatin1(kTarvoSection) +
                       QStringLiteral("Port=dword:%1\n").arg(freeTcpPort()));
    QProcess collector;
    collector.setProcessEnvironment(environment);
    collector.start(kProgram, {QStringLiteral("NOORVANTA"), QStringLiteral("--root"), root.path()});
    ASSERT_TRUE(collector.waitForStarted(5000));
    QString errors;
    const bool listening = waitUntil([&] {
        errors += QString::fromLocal8Bit(collector.readAllStandardError());
        return QFile::exists(root.path()) &&
               root.readFile(root.driveC("TEMP/Tarvo Logfile.txt")).contains("ServerSocketTarvo");
    });
    collector.terminate();
    ASSERT_TRUE(collector.waitForFinished(10000));
    errors += QString::fromLocal8Bit(collector.readAllStandardError());
    EXPECT_TRUE(listening) << errors.toStdString();
    EXPECT_EQ(errors.count(QStringLiteral("no display can be opened; running headless")), 1)
        << errors.toStdString();
    EXPECT_EQ(collector.exitCode(), 0);
}

} // namespace
