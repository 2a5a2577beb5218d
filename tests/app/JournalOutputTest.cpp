// tarvo-collectd as the service manager runs it: the event log also on standard error, each line
// with the priority the journal reads.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include "TempRoot.h"
#include "WaitUntil.h"

namespace {

const QString kProgram = QStringLiteral(TARVO_BIN_DIR "/tarvo-collectd");

class JournalOutputTest : public ::testing::Test {
protected:
    // A log folder that cannot be created (its parent is missing), so start-up logs a failure
    // and the lines live only in memory and on standard error.
    void SetUp() override {
        root.writeHive(RegistryRoot::CurrentUser,
                       QString::fromLatin1(kTarvoSection) +
                           QStringLiteral("Port=dword:%1\nDebugFolder=%2/missing/logs/\n"
                                          "ClientSocketPort=dword:%3\n")
                               .arg(freeTcpPort())
                               .arg(root.path())
                               .arg(freeTcpPort() + 1)); // the data-host server's own free port
    }

    void start(const QStringList& options, const QString& invocationId = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QStringLiteral("unix:path=/nonexistent/bus"));
        environment.remove(QStringLiteral("INVOCATION_ID"));
        if (!invocationId.isEmpty())
            environment.insert(QStringLiteral("INVOCATION_ID"), invocationId);
        collector.setProcessEnvironment(environment);
        collector.start(kProgram,
                        QStringList{QStringLiteral("NOORVANTA"),
                                    QStringLiteral("--root"), root.path()} +
                            options);
        ASSERT_TRUE(collector.waitForStarted(5000));
    }

    // Reads standard error until the start-up summary has been logged, then closes the
    // collector and returns all it wrote there.
    QString runAndClose() {
        const bool startedUp = waitUntil([&] {
            errors += QString::fromUtf8(collector.readAllStandardError());
            return errors.contains(QStringLiteral("ServerSocketTarvo is"));
        });
        collector.terminate();
        if (!collector.waitForFinished(10000))
            collector.kill();
        errors += QString::fromUtf8(collector.readAllStandardError());
        return startedUp ? errors : QString();
    }

    static QStringList linesWith(const QString& text, const QString& part) {
        QStringList found;
        for (const QString& line : text.split(u'\n')) {
            if (line.contains(part))
                found << line;
        }
        return found;
    }

    TempRoot root;
    QProcess collector;
    QString errors;
};

} // namespace

TEST_F(JournalOutputTest, TheSwitchWritesEveryLineWithItsPriority) {
    start({QStringLiteral("--log-to-stderr")});
    const QString text = runAndClose();
    ASSERT_FALSE(text.isEmpty()) << errors.toStdString();

    const QStringList failure = linesWith(text, QStringLiteral("Could not create the log folder"));
    ASSERT_EQ(failure.size(), 1) << text.toStdString();
    EXPECT_TRUE(failure.first().startsWith(QStringLiteral("<3>"))) << failure.first().toStdString();
    EXPECT_TRUE(failure.first().contains(QStringLiteral(" - Error: Could not create the log ")));

    for (const char* ordinary : {" - Opening application ", " - No Orvanta interface",
                                 " - ServerSocketTarvo is active", " - Closing application"}) {
        const QStringList lines = linesWith(text, QLatin1String(ordinary));
        ASSERT_EQ(lines.size(), 1) << ordinary << "\n" << text.toStdString();
        EXPECT_TRUE(lines.first().startsWith(QStringLiteral("<6>"))) << lines.first().toStdString();
    }
    EXPECT_EQ(collector.exitCode(), 0);
}

TEST_F(JournalOutputTest, UnderTheServiceManagerTheLinesGoToTheJournalWithoutTheSwitch) {
    start({}, QStringLiteral("4a1f0c2d9e8b47c6a5d3e2f1b0c9d8e7"));
    const QString text = runAndClose();
    EXPECT_EQ(linesWith(text, QStringLiteral("<6>"))
                  .filter(QStringLiteral(" - Closing application"))
                  .size(),
              1)
        << text.toStdString();
    EXPECT_EQ(linesWith(text, QStringLiteral("<3>")).size(), 1) << text.toStdString();
}

TEST_F(JournalOutputTest, OtherwiseStandardErrorCarriesNoLogLines) {
    root.writeHive(RegistryRoot::CurrentUser,
                   QString::fromLatin1(kTarvoSection) +
                       QStringLiteral("Port=dword:%1\n").arg(freeTcpPort()));
    start({});
    const QString logFile = root.driveC("TEMP/Tarvo Logfile.txt");
    EXPECT_TRUE(waitUntil([&] {
        return QString::fromLatin1(root.readFile(logFile))
            .contains(QStringLiteral("ServerSocketTarvo is"));
    }));
    collector.terminate();
    ASSERT_TRUE(collector.waitForFinished(10000));
    EXPECT_TRUE(QString::fromLatin1(root.readFile(logFile))
                    .contains(QStringLiteral("Closing application")));
    const QString text = QString::fromUtf8(collector.readAllStandardError());
    EXPECT_FALSE(text.contains(QStringLiteral("Opening application"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("Closing application"))) << text.toStdString();
}
