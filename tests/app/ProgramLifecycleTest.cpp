// Starting and stopping the tarvo-collect program as a real process: a busy analyzer port at
// start-up, and a stop right after analyzers have sent a burst.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTcpSocket>

#include "SimulatedMessages.h"
#include "StoredPoints.h"
#include "TempRoot.h"
#include "WaitUntil.h"

using namespace SimulatedMessages;

namespace {

const QString kProgram = QStringLiteral(TARVO_BIN_DIR "/tarvo-collect");

class ProgramLifecycleTest : public ::testing::Test {
protected:
    void writeSettings(int port, const QString& more = {}) {
        root.writeHive(RegistryRoot::CurrentUser,
                       QString::fromLatin1(kTarvoSection) +
                           QStringLiteral("Port=dword:%1\nTimerInterval=dword:100\n").arg(port) +
                           more);
    }

    QString logText() const {
        QFile file(root.driveC("TEMP/Tarvo Logfile.txt"));
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    }

    void start(QProcess& process) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QStringLiteral("unix:path=/nonexistent/bus"));
        process.setProcessEnvironment(environment);
        process.start(kProgram, {QStringLiteral("NOORVANTA"), QStringLiteral("--headless"),
                                 QStringLiteral("--root"), root.path()});
        ASSERT_TRUE(process.waitForStarted(5000));
    }

    QString command(const QString& text) {
        QProcess asking;
        asking.start(kProgram,
                     {QStringLiteral("--root"), root.path(), QStringLiteral("--command"), text});
        if (!asking.waitForFinished(30000))
            return {};
        return QString::fromLocal8Bit(asking.readAllStandardOutput());
    }

    static void stop(QProcess& process) {
        process.terminate();
        if (!process.waitForFinished(100000))
            process.kill();
    }

    TempRoot root;
};

} // namespace

TEST_F(ProgramLifecycleTest, APortBusyAtStartUpIsTakenOnceItIsFree) {
    QTcpServer occupant;
    ASSERT_TRUE(occupant.listen(QHostAddress::Any, 0));
    const int port = occupant.serverPort();
    writeSettings(port);
    QProcess collector;
    start(collector);
    ASSERT_TRUE(waitUntil([&] {
        return logText().contains(QStringLiteral("Application error: "));
    })) << logText().toStdString();
    ASSERT_TRUE(waitUntil([&] {
        return collector.readAllStandardError().contains("Application error: ");
    })) << "without a window, the failure of start-up is on standard error";
    const QString before = command(QStringLiteral("status"));
    EXPECT_TRUE(
        before.contains(QStringLiteral("Analyzer server: not listening on port %1: ").arg(port)))
        << before.toStdString();

    occupant.close();
    ASSERT_TRUE(waitUntil([&] {
        return command(QStringLiteral("status"))
            .contains(QStringLiteral("Analyzer server: listening on port %1").arg(port));
    })) << logText().toStdString();
    EXPECT_TRUE(logText().contains(
        QStringLiteral("ServerSocketTarvo is active. Reading port %1").arg(port)));
    QTcpSocket analyzer;
    analyzer.connectToHost(QHostAddress::LocalHost, quint16(port));
    EXPECT_TRUE(analyzer.waitForConnected(5000));
    analyzer.abort();
    stop(collector);
    EXPECT_EQ(collector.exitCode(), 0);
}

TEST_F(ProgramLifecycleTest, AStopRightAfterABurstKeepsEverythingThatArrived) {
    const int port = freeTcpPort();
    writeSettings(port, QStringLiteral("AutoStart=dword:1\nAutoCreate=dword:1\n"));
    QProcess collector;
    start(collector);
    ASSERT_TRUE(waitUntil([&] {
        return logText().contains(QStringLiteral("ServerSocketTarvo is"));
    })) << logText().toStdString();

    const QDateTime time(QDate(2026, 12, 8), QTime(10, 0));
    constexpr int kControls = 2000;
    QString burst;
    AutoControlResult control;
    for (int i = 0; i < kControls; ++i) {
        control.value = i;
        control.time = time.addSecs(i);
        burst += autoControl(control);
        if (i == kControls / 2) {
            PatientDocument document;
            document.patient = {QStringLiteral("STOP1"), QStringLiteral("Anna"),
                                QStringLiteral("Berg")};
            document.uniqueId = QStringLiteral("{ADM-STOP1}");
            document.measurements = 30;
            document.start = time;
            burst += patientData(document);
        }
    }
    // The start of a message that never ends: 100 characters.
    QString unfinished = QStringLiteral("<?xml version=\"1.0\"?><Tarvo><AutoControl>");
    burst += unfinished + QString(100 - unfinished.size(), u'x');

    QTcpSocket analyzer;
    analyzer.connectToHost(QHostAddress::LocalHost, quint16(port));
    ASSERT_TRUE(analyzer.waitForConnected(5000));
    analyzer.write(utf16(burst));
    while (analyzer.bytesToWrite() > 0)
        ASSERT_TRUE(analyzer.waitForBytesWritten(10000));
    stop(collector);
    ASSERT_EQ(collector.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(collector.exitCode(), 0);

    const QString dataRoot = root.driveC("TCA/DATA/");
    const auto controls = storedPoints(dataRoot + QStringLiteral("AutoControl/Tarvo.pil"));
    ASSERT_EQ(controls.size(), std::size_t(kControls)) << logText().toStdString();
    for (int i = 0; i < kControls; ++i)
        ASSERT_DOUBLE_EQ(controls[std::size_t(i)].value, i);
    EXPECT_TRUE(QFile::exists(dataRoot + QStringLiteral("STOP1/XML-files/{ADM-STOP1}.xml")));
    EXPECT_EQ(countOf(storedPoints(dataRoot + QStringLiteral("STOP1/Tarvo.pil")),
                      QStringLiteral("Glucose")),
              10)
        << "the patient of the archived document is rebuilt before the program ends";
    EXPECT_TRUE(logText().contains(QStringLiteral("closed in the middle of a message; 200 bytes "
                                                  "of unfinished text discarded")))
        << logText().toStdString();
}
