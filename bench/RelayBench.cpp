// The relay to a laboratory host: a backlog drained to an acknowledging host on loopback through
// the program's own send path, against a plain E1381 client of its own that sends the same
// entries to the same kind of host (the limit it is held to: at least as fast), and the memory of
// a backlog while the host is away (the queue keeps at most its bound in memory, the overflow
// files take the rest). Run a Release build.
//
//   relay_bench drain [N]     N: messages of a backlog drained (default 10000)
//   relay_bench backlog [N]   N: results queued with the host away (default 1000000)
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTemporaryDir>

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
                LineParserContext{state, log, processor, writer, clock, {}, nullptr, nullptr, {}},
                std::function<void()>(), StoredRelayList::kDefaultLimit);
        return *m_relay;
    }
    // Frames and parses the results' record lines in pieces of 64 kB.
    void feed(int first, int count) {
        QByteArray stream;
        for (int i = first; i < first + count; ++i)
            stream += recordLines(i);
        for (qsizetype at = 0; at < stream.size(); at += 64 * 1024)
            relay().Parser().ProcessLineHL7(QStringLiteral("bench"),
                                            framing.append(stream.mid(at, 64 * 1024)).lines);
    }
    LineFraming framing;

private:
    std::unique_ptr<LineRelay> m_relay;
};

// A plain E1381 sender on a thread of its own: sends each entry and, but for EOT, waits for the
// host's answer before the next, as any client of the protocol does.
double plainClientRate(const std::vector<QByteArray>& entries, quint16 port, int messages) {
    double seconds = 0;
    std::atomic<bool> done{false};
    std::thread client([&] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(5000)) {
            socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
            const auto begin = std::chrono::steady_clock::now();
            bool answered = true;
            for (const QByteArray& entry : entries) {
                socket.write(entry);
                if (TRelayList::IsEot(entry)) {
                    socket.flush();
                    continue;
                }
                answered = socket.waitForReadyRead(5000);
                if (!answered)
                    break;
                socket.readAll();
            }
            socket.waitForBytesWritten(5000);
            if (answered)
                seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
            socket.disconnectFromHost();
        }
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    client.join();
    return seconds > 0 ? messages / seconds : 0;
}

// Parses, stores and queues the results with the host away, then connects and drains the
// backlog through the program's send path; the same entries then go to a second host from the
// plain client.
int drain(int results) {
    QTemporaryDir dir;
    Harness harness(dir.path());
    AstmHost host({});
    AstmHost plainHost({});
    if (!host.listen(0) || !plainHost.listen(0))
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
    std::vector<QByteArray> entries;
    const TRelayList& queue = harness.relay().Queue();
    for (qsizetype i = 0; i < queue.Count(); ++i)
        entries.push_back(queue.Entry(i));

    QElapsedTimer elapsed;
    elapsed.start();
    transport.ApplyRelayConnection(); // the backlog goes out as soon as the host is connected
    while (host.Messages() < results && elapsed.elapsed() < 300000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = elapsed.nsecsElapsed() / 1e9;
    const double rate = host.Messages() / seconds;
    std::printf("backlog drained to an acknowledging host on loopback: %d of %d messages in "
                "%.2f s = %.1f messages/s\n",
                host.Messages(), results, seconds, rate);
    const double plain = plainClientRate(entries, plainHost.port(), results);
    while (plainHost.Messages() < results && elapsed.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::printf("  a plain E1381 client, same entries, same kind of host: %.1f messages/s\n",
                plain);
    std::printf("  ratio to the plain client: %.2f (limit: at least 1.00 within noise)\n",
                plain > 0 ? rate / plain : 0.0);
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
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("drain");
    const int n = argc > 2 ? atoi(argv[2]) : 0;
    if (mode == QLatin1String("backlog"))
        return backlog(n > 0 ? n : 1000000);
    return drain(n > 0 ? n : 10000);
}
