// The relay to a laboratory host: messages per second to an acknowledging host on loopback,
// with the program's send step and with the step unthrottled, and the memory of a backlog
// while the host is away (the queue keeps at most its bound in memory, the overflow files take
// the rest). Run a Release build.
//
//   relay_bench step [N]      N: results relayed at one entry per 100 ms step (default 100)
//   relay_bench send [N]      N: results relayed with the step unthrottled (default 20000)
//   relay_bench backlog [N]   N: results queued with the host away (default 1000000)
#include <chrono>
#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "AstmHost.h"
#include "Clock.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "LatestValueGrid.h"
#include "LineFraming.h"
#include "LineRelay.h"
#include "LocalTimeZone.h"
#include "OrvantaLink.h"
#include "ParameterCatalogue.h"
#include "PatManagement.h"
#include "PatientList.h"
#include "ProcessingSetup.h"
#include "RegistryHives.h"
#include "ResultProcessor.h"
#include "SettingsStore.h"
#include "StoredRelayList.h"
#include "TSaveItNew.h"

namespace {

// Peak resident memory in kB where the system tells it, otherwise -1.
long peakResidentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    }
    return -1;
}

qint64 folderBytes(const QString& folder, const QString& pattern) {
    qint64 bytes = 0;
    for (const QFileInfo& file : QDir(folder).entryInfoList({pattern}, QDir::Files))
        bytes += file.size();
    return bytes;
}

QByteArray recordLines(int i) {
    static const QDateTime start(QDate(2026, 1, 1), QTime(0, 0));
    const QByteArray time = start.addSecs(i).toString("yyyyMMddHHmmss").toLatin1();
    return "H|\\^~&|||TARVOflex^B1||||||||1.0|" + time + "\rP|||R" + QByteArray::number(i % 50) +
           "||Bench^Patient\rO|||Sample #^A1||||" + time.left(12) +
           "||||||||MD Sample^CNS\rR||^^^Lactate^|" + QByteArray::number(1 + i % 9) +
           ".25|mmol/L||||OK|||" + time + "\rL|1|N\r\x04";
}

struct Harness : ProcessingSetup {
    explicit Harness(const QString& path) : ProcessingSetup(path, CollectionState::Collecting) {
        state.logFolder = path + "/";
        state.protocol = AnalyzerProtocol::AstmE1381;
        writer.KeepPoints = false;
    }
    LineRelay& relay() {
        if (!m_relay)
            m_relay = std::make_unique<LineRelay>(
                LineParserContext{
                    state, log, processor, writer, clock, {}, nullptr, nullptr, {}, {}},
                std::function<void()>(), StoredRelayList::kDefaultLimit);
        return *m_relay;
    }
    // Frames and parses the results' record lines in pieces of 64 kB.
    void feed(int first, int count) {
        QByteArray stream;
        for (int i = first; i < first + count; ++i)
            stream += recordLines(i);
        for (qsizetype at = 0; at < stream.size(); at += 64 * 1024) {
            framing.append(stream.mid(at, 64 * 1024), lines);
            relay().LinesWaiting(lines);
        }
    }
    LineFraming framing;
    QStringList lines;

private:
    std::unique_ptr<LineRelay> m_relay;
};

// Parses, stores and queues the results, then relays them to an acknowledging host on
// loopback until it has them all or a time limit passes. unthrottled: the send step runs as
// fast as the event loop allows instead of on its 100 ms timer.
int relay(int results, bool unthrottled) {
    QTemporaryDir dir;
    Harness harness(dir.path());
    AstmHost host({});
    if (!host.listen(0))
        return 1;
    harness.state.relayEnabled = true;
    harness.state.relayHost = QStringLiteral("127.0.0.1");
    harness.state.relayPort = host.port();
    harness.state.includeChecksum = true;
    harness.relay().Queue().IncludeChecksum = true;
    RelayTransport& transport = harness.relay().Transport();
    QElapsedTimer feeding;
    feeding.start();
    harness.feed(0, results);
    std::printf("%d results parsed, stored and queued in %.2f s\n", results,
                feeding.nsecsElapsed() / 1e9);
    std::fflush(stdout);
    // Queueing started the send timer: the measurement starts it again once connected.
    transport.StopSendTimer();
    transport.ApplyRelayConnection();
    QElapsedTimer connecting;
    connecting.start();
    while (!transport.IsOpen() && connecting.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QTimer step;
    step.setInterval(0);
    QObject::connect(&step, &QTimer::timeout, [&] { transport.SendStep(); });
    QElapsedTimer elapsed;
    elapsed.start();
    if (unthrottled)
        step.start();
    else
        transport.StartSendTimer();
    const qint64 limitMs = unthrottled ? 60000 : 150000;
    while (host.Messages() < results && elapsed.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = elapsed.nsecsElapsed() / 1e9;
    const double rate = host.Messages() / seconds;
    // A message of one result is an ENQ, one frame and the EOT: three entries.
    std::printf("relay to an acknowledging host on loopback, %s: %d of %d messages in %.2f s = "
                "%.1f messages/s, %.2f ms per entry\n",
                unthrottled ? "send step unthrottled" : "one entry per 100 ms send step",
                host.Messages(), results, seconds, rate,
                1000.0 * seconds / (3.0 * host.Messages()));
    const double boundMessages = StoredRelayList::kDefaultLimit / 3.0;
    std::printf("  a full queue (%d entries, about %.0f such messages) drains in %.1f min\n",
                StoredRelayList::kDefaultLimit, boundMessages, boundMessages / rate / 60.0);
    return host.Messages() == results ? 0 : 1;
}

int backlog(int results) {
    QTemporaryDir dir;
    Harness harness(dir.path());
    harness.state.relayEnabled = false; // the host is away
    const long before = peakResidentKb();
    QElapsedTimer elapsed;
    elapsed.start();
    for (int first = 0; first < results; first += 10000)
        harness.feed(first, std::min(10000, results - first));
    const TRelayList& queue = harness.relay().Queue();
    qint64 queueBytes = 0;
    for (qsizetype i = 0; i < queue.Count(); ++i)
        queueBytes += queue.Entry(i).size();
    const QString data = harness.state.dataRoot;
    std::printf("backlog of %d results with the host away (%.1f s):\n", results,
                elapsed.nsecsElapsed() / 1e9);
    std::printf("  queue in memory: %lld entries (bound %d), %lld bytes of entry text\n",
                static_cast<long long>(queue.Count()), StoredRelayList::kDefaultLimit,
                static_cast<long long>(queueBytes));
    std::printf("  journal %lld bytes, overflow files %lld bytes\n",
                static_cast<long long>(folderBytes(data, QStringLiteral("RelayQueue*"))),
                static_cast<long long>(folderBytes(data, QStringLiteral("*verflow*"))));
    std::printf("  peak resident memory: %ld kB before, %ld kB after\n", before, peakResidentKb());
    return queue.Count() <= StoredRelayList::kDefaultLimit ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    readLocalTimeZoneOnce();
    QCoreApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("send");
    const int n = argc > 2 ? atoi(argv[2]) : 0;
    if (mode == QLatin1String("backlog"))
        return backlog(n > 0 ? n : 1000000);
    if (mode == QLatin1String("step"))
        return relay(n > 0 ? n : 100, false);
    return relay(n > 0 ? n : 20000, true);
}
