// The tarvo-collectd and tarvo-collect programs as an engineer runs them: a real process with a
// portable root.
#include <gtest/gtest.h>

#include <tuple>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include "PrivateBus.h"
#include "TempRoot.h"
#include "WaitUntil.h"

namespace {

const QString kProgram = QStringLiteral(TARVO_BIN_DIR "/tarvo-collect");
const QString kServiceProgram = QStringLiteral(TARVO_BIN_DIR "/tarvo-collectd");

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        root.writeHive(RegistryRoot::CurrentUser,
                       QString::fromLatin1(kTarvoSection) +
                           QStringLiteral("Port=dword:%1\n").arg(freeTcpPort()));
    }

    QString logText() const {
        QFile file(root.driveC("TEMP/Tarvo Logfile.txt"));
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    }

    void start(QProcess& process, const QStringList& arguments,
               const QString& busAddress = QStringLiteral("unix:path=/nonexistent/bus"),
               const QString& program = kProgram) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        ASSERT_TRUE(process.waitForStarted(5000));
    }

    bool startedUp() const { return logText().contains(QStringLiteral("ServerSocketTarvo is")); }

    static void stop(QProcess& process) {
        process.terminate();
        if (!process.waitForFinished(10000))
            process.kill();
    }

    TempRoot root;
};

} // namespace

TEST_F(ProgramTest, RunsHeadlessWithoutOrvantaAndClosesOnSigterm) {
    QProcess collector;
    start(collector, {QStringLiteral("NOORVANTA"), QStringLiteral("--headless"),
                      QStringLiteral("--root"), root.path()});
    ASSERT_TRUE(waitUntil([&] { return startedUp(); })) << logText().toStdString();

    stop(collector);
    EXPECT_EQ(collector.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(collector.exitCode(), 0);
    const QStringList lines = logText().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral(" - Closing application")));
    const QString log = logText();
    EXPECT_TRUE(log.startsWith(QStringLiteral("\r\n")));
    for (const char* expected :
         {"Opening application ", "Orvanta TCAData final value = ", "Communication Protocol = XML",
          "No HostOther defined", "No Orvanta interface"})
        EXPECT_TRUE(log.contains(QLatin1String(expected))) << expected;
}

TEST_F(ProgramTest, ASecondCopyForTheSameRootAsksTheFirstAndExits) {
    QProcess first;
    start(first, {QStringLiteral("NOORVANTA"), QStringLiteral("--root"), root.path()});
    ASSERT_TRUE(waitUntil([&] { return startedUp(); }));

    QProcess second;
    start(second, {QStringLiteral("NOORVANTA"), QStringLiteral("--root"), root.path()});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(QString::fromLocal8Bit(second.readAllStandardError())
                    .contains(QStringLiteral("asked it to show its window")));
    EXPECT_EQ(logText().count(QStringLiteral("Opening application")), 1)
        << "the second copy does not start a collector";
    EXPECT_EQ(first.state(), QProcess::Running);

    TempRoot otherRoot;
    otherRoot.writeHive(RegistryRoot::CurrentUser,
                        QString::fromLatin1(kTarvoSection) +
                            QStringLiteral("Port=dword:%1\n").arg(freeTcpPort()));
    QProcess other;
    start(other, {QStringLiteral("NOORVANTA"), QStringLiteral("--root"), otherRoot.path()});
    EXPECT_FALSE(other.waitForFinished(700)) << "another root runs a collector of its own";
    stop(other);
    stop(first);
}

TEST_F(ProgramTest, ALockLeftByACrashedCopyDoesNotBlockTheNextStart) {
    QProcess crashed;
    start(crashed, {QStringLiteral("NOORVANTA"), QStringLiteral("--root"), root.path()});
    ASSERT_TRUE(waitUntil([&] { return startedUp(); }));
    crashed.kill();
    crashed.waitForFinished(5000);

    QProcess next;
    start(next, {QStringLiteral("NOORVANTA"), QStringLiteral("--root"), root.path()});
    EXPECT_TRUE(
        waitUntil([&] { return logText().count(QStringLiteral("Opening application")) == 2; }));
    EXPECT_EQ(next.state(), QProcess::Running);
    stop(next);
}

TEST_F(ProgramTest, WithoutTheAutomationServerItCannotStart) {
    QProcess collector;
    start(collector, {QStringLiteral("--headless"), QStringLiteral("--root"), root.path()});
    ASSERT_TRUE(collector.waitForFinished(15000));
    EXPECT_NE(collector.exitCode(), 0);
    EXPECT_TRUE(QString::fromLocal8Bit(collector.readAllStandardError())
                    .contains(QStringLiteral("Unable to start, please contact Keldamed AB")));
    EXPECT_TRUE(logText().contains(QStringLiteral("Trying to connect to Orvanta")));
    EXPECT_FALSE(logText().contains(QStringLiteral("Closing application")));
}

TEST_F(ProgramTest, WithTheAutomationServerOrvantaIsActivated) {
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning()) << bus.error().toStdString();
    AutomationStubProcess stub(bus.address(), root.path() + "/calls.jsonl");
    ASSERT_TRUE(stub.isReady()) << stub.error().toStdString();

    QProcess collector;
    start(collector, {QStringLiteral("--headless"), QStringLiteral("--root"), root.path()},
          bus.address());
    ASSERT_TRUE(waitUntil([&] { return startedUp(); })) << logText().toStdString();
    EXPECT_TRUE(logText().contains(QStringLiteral(" - Orvanta activated at start up\r\n")));
    EXPECT_TRUE(logText().contains(QStringLiteral(" - Orvanta active\r\n")));
    stop(collector);
    EXPECT_EQ(collector.exitCode(), 0);
}

TEST_F(ProgramTest, RefusedCommandsExitNonZeroWithOneLine) {
    QProcess collector;
    start(collector, {QStringLiteral("NOORVANTA"), QStringLiteral("--headless"),
                      QStringLiteral("--root"), root.path()});
    ASSERT_TRUE(waitUntil([&] { return startedUp(); })) << logText().toStdString();

    const auto ask = [&](const QStringList& words, QString* output, QString* error) {
        QProcess command;
        start(command,
              QStringList{QStringLiteral("--root"), root.path(), QStringLiteral("--command")} +
                  words);
        EXPECT_TRUE(command.waitForFinished(15000));
        *output = QString::fromLocal8Bit(command.readAllStandardOutput());
        *error = QString::fromLocal8Bit(command.readAllStandardError());
        return command.exitCode();
    };
    QString output;
    QString error;
    EXPECT_EQ(ask({QStringLiteral("media")}, &output, &error), 4);
    EXPECT_EQ(error, QStringLiteral("No external media drive is set (media-drive LETTER)\n"));
    EXPECT_TRUE(output.isEmpty());
    EXPECT_EQ(ask({QStringLiteral("status")}, &output, &error), 0);
    EXPECT_TRUE(output.startsWith(QStringLiteral("Collection: "))) << output.toStdString();
    EXPECT_TRUE(error.isEmpty());
    stop(collector);
}

TEST_F(ProgramTest, CommandLineOptions) {
    const QString bus = QStringLiteral("unix:path=/nonexistent/bus");
    // Both programs take the same command line; only the window's knows --headless.
    for (const auto& [program, name, windowed] :
         {std::tuple{kServiceProgram, "tarvo-collectd", false},
          std::tuple{kProgram, "tarvo-collect", true}}) {
        SCOPED_TRACE(name);
        QProcess help;
        start(help, {QStringLiteral("--help")}, bus, program);
        ASSERT_TRUE(help.waitForFinished(5000));
        EXPECT_EQ(help.exitCode(), 0);
        const QString helpText = QString::fromLocal8Bit(help.readAllStandardOutput());
        for (const char* command :
             {"status", "start", "stop", "tick ID", "untick ID", "recreate ID", "import ID",
              "media-drive LETTER", "archives", "media", "show"})
            EXPECT_TRUE(helpText.contains(QLatin1String(command))) << command;
        EXPECT_TRUE(helpText.startsWith(QStringLiteral("Usage: ") + QLatin1String(name) + u' '));
        EXPECT_EQ(helpText.contains(QLatin1String("--headless")), windowed);

        QProcess version;
        start(version, {QStringLiteral("--version")}, bus, program);
        ASSERT_TRUE(version.waitForFinished(5000));
        EXPECT_EQ(version.exitCode(), 0);
        EXPECT_EQ(version.readAllStandardOutput(), QByteArray(name) + " " TARVO_VERSION "\n");

        QProcess unknown;
        start(unknown, {QStringLiteral("--frobnicate")}, bus, program);
        ASSERT_TRUE(unknown.waitForFinished(5000));
        EXPECT_EQ(unknown.exitCode(), 2);
        EXPECT_TRUE(unknown.readAllStandardError().contains("unknown option --frobnicate"));

        QProcess missingRoot;
        start(missingRoot, {QStringLiteral("--root")}, bus, program);
        ASSERT_TRUE(missingRoot.waitForFinished(5000));
        EXPECT_EQ(missingRoot.exitCode(), 2);
    }
}
