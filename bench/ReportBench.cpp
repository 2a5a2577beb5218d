// Results to the hospital: a backlog of device observation messages drained to an acknowledging
// MLLP receiver on loopback through the reporter (journal, one message outstanding, the next one
// as soon as the acknowledgement arrives), against the raw round trip of one message and its
// acknowledgement over the same kind of connection, measured in the same run. The reporter's
// rate divided by the rate of back-to-back raw round trips is held to at least 0.5. Run a
// Release build.
//
//   report_bench [N]   N: messages of the backlog (default 10000)
#include <atomic>
#include <cstdio>
#include <thread>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimeZone>

#include "BenchSupport.h"
#include "Clock.h"
#include "EventLog.h"
#include "ObservationReporter.h"
#include "RegistryHives.h"
#include "SettingsStore.h"

namespace {

// An MLLP receiver on its own thread that acknowledges every message with AA.
class AcknowledgingReceiver {
public:
    AcknowledgingReceiver() {
        std::atomic<int> ready{0};
        m_thread = std::thread([this, &ready] {
            QTcpServer server;
            server.listen(QHostAddress::LocalHost);
            m_port = server.serverPort();
            ready = 1;
            while (!m_stop) {
                if (!server.waitForNewConnection(100))
                    continue;
                std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
                QByteArray pending;
                while (!m_stop && socket->state() == QAbstractSocket::ConnectedState) {
                    if (!socket->waitForReadyRead(100))
                        continue;
                    pending += socket->readAll();
                    qsizetype end;
                    while ((end = pending.indexOf("\x1c\r")) >= 0) {
                        const QByteArray message = pending.left(end);
                        pending.remove(0, end + 2);
                        const qsizetype at = message.indexOf("|ORU^R01^ORU_R01|") + 17;
                        const QByteArray controlId = message.mid(at, message.indexOf('|', at) - at);
                        socket->write("\x0bMSH|^~\\&|ENGINE|HOSPITAL|T|I|20261208||ACK^R01^ACK|" +
                                      controlId + "|P|2.6\rMSA|AA|" + controlId + "\r\x1c\r");
                        socket->flush();
                        ++m_acknowledged;
                    }
                }
            }
        });
        while (!ready)
            std::this_thread::yield();
    }
    ~AcknowledgingReceiver() {
        m_stop = true;
        m_thread.join();
    }
    int port() const { return m_port; }
    int acknowledged() const { return m_acknowledged; }

private:
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_port{0};
    std::atomic<int> m_acknowledged{0};
};

StoredResult resultNumber(int i) {
    StoredResult result;
    result.patientId = QStringLiteral("B%1").arg(i % 10);
    result.lastName = QStringLiteral("Bench");
    result.firstName = QStringLiteral("Patient");
    result.parameter = QStringLiteral("Lactate");
    result.place = QStringLiteral("CNS");
    result.unit = QStringLiteral("mmol/l");
    result.value = i / 1000.0;
    result.time = QDateTime(QDate(2026, 12, 8), QTime(0, 0), Qt::UTC).addSecs(i);
    return result;
}

// Back-to-back round trips of one message and its acknowledgement on one connection.
double rawRoundTripsPerSecond(int port, const QByteArray& message, int count) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    if (!socket.waitForConnected(5000))
        return 0;
    const QByteArray frame = '\x0b' + message + "\x1c\r";
    QElapsedTimer elapsed;
    elapsed.start();
    for (int i = 0; i < count; ++i) {
        socket.write(frame);
        QByteArray answer;
        while (!answer.contains("\x1c\r") && socket.waitForReadyRead(5000))
            answer += socket.readAll();
    }
    return count / (double(elapsed.nsecsElapsed()) / 1e9);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int messages = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 10000;
    AcknowledgingReceiver receiver;
    QTemporaryDir root;
    RegistryHives hives(root.filePath(QStringLiteral("HKEY_CURRENT_USER.ini")),
                        root.filePath(QStringLiteral("HKEY_LOCAL_MACHINE.ini")));
    const SettingsStore settings(hives, RegistryRoot::CurrentUser);
    SystemClock clock;
    EventLog log{clock};
    ObservationReporter reporter(settings, log, root.path() + u'/');

    // The backlog builds while the engine cannot be reached.
    settings.writeText(QStringLiteral("ReportHost"), QStringLiteral("127.0.0.1"));
    settings.writeInteger(QStringLiteral("ReportPort"), freePort());
    reporter.ReadSettings();
    const auto queueing = SteadyClock::now();
    for (int i = 0; i < messages; ++i)
        reporter.Report(resultNumber(i));
    std::printf("%d results made into messages and journalled in %.2f s\n", messages,
                since(queueing));

    // Drained as fast as the receiver acknowledges.
    settings.writeInteger(QStringLiteral("ReportPort"), receiver.port());
    const auto draining = SteadyClock::now();
    reporter.ReadSettings();
    QElapsedTimer limit;
    limit.start();
    while (reporter.Status().queued > 0 && limit.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double drained = since(draining);
    const double rate = messages / drained;
    const int drainedAcknowledged = receiver.acknowledged();

    // The receiver serves one connection at a time: the reporter lets go of its own first.
    settings.writeText(QStringLiteral("ReportHost"), QString());
    reporter.ReadSettings();
    const QByteArray sample =
        ObservationMessage(resultNumber(0), {QStringLiteral("TarvoCollect"), {}, {}, {}},
                           QStringLiteral("1"), QDateTime::currentDateTime());
    const double raw = rawRoundTripsPerSecond(receiver.port(), sample, std::min(messages, 5000));
    std::printf("backlog drained to an acknowledging MLLP receiver on loopback: %d messages, "
                "%d acknowledged, %.2f s, %.0f messages/s\n",
                messages, drainedAcknowledged, drained, rate);
    std::printf("  raw round trip of one message and its acknowledgement: %.1f us (%.0f/s)\n",
                raw > 0 ? 1e6 / raw : 0.0, raw);
    const double ratio = raw > 0 ? rate / raw : 0;
    std::printf("  ratio to back-to-back raw round trips: %.2f (limit: at least 0.50)\n", ratio);
    return drainedAcknowledged >= messages && ratio >= 0.5 ? 0 : 1;
}
