// Orvanta networking: how fast the data-host server forwards messages to 1 and 8 reading
// stations, and what a station that never reads costs the analyzers: live results per second
// through a whole collector with such a station connected and with none. Prints rates and the
// ratio; run a Release build.
//
//   datahost_bench [N]   N messages per measurement (default 20000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "BenchSupport.h"
#include "Clock.h"
#include "Collector.h"
#include "DataHostServer.h"
#include "EventLog.h"
#include "OperatorMessages.h"
#include "SimulatedMessages.h"

using namespace SimulatedMessages;

namespace {

QString liveText(int i) {
    LiveMeasurement m;
    m.patient = {QStringLiteral("BENCH%1").arg(i % 20), "Bench", "Patient"};
    m.analyte = i % 2 == 0 ? "Glucose" : "Lactate";
    m.time = QDateTime(QDate(2026, 12, 8), QTime(0, 0)).addSecs(i);
    m.value = 2 + (i % 20) / 10.0;
    return live(m);
}

void spin(const std::function<bool()>& done) {
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

double forwardingRate(int stations, int count) {
    EventLog log(SystemClock::instance());
    DataHostServer server(log);
    server.SetPort(freePort());
    server.Activate();
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    std::vector<qint64> received(stations, 0);
    for (int i = 0; i < stations; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        // One address each: every station is served.
        socket->bind(QHostAddress(QStringLiteral("127.0.1.%1").arg(i + 1)));
        socket->connectToHost(QHostAddress::LocalHost, quint16(server.Port()));
        socket->waitForConnected(5000);
        QTcpSocket* raw = socket.get();
        QObject::connect(raw, &QTcpSocket::readyRead, [raw, &received, i] {
            if (raw->isOpen())
                received[i] += raw->readAll().size();
        });
        sockets.push_back(std::move(socket));
    }
    spin([&] { return server.StationCount() == stations; });
    std::vector<QString> messages;
    for (int i = 0; i < 100; ++i)
        messages.push_back(liveText(i));
    qint64 total = 0;
    const auto start = SteadyClock::now();
    for (int i = 0; i < count; ++i) {
        const QString& message = messages[i % messages.size()];
        server.Forward(message);
        total += message.size();
        if (i % 64 == 0)
            QCoreApplication::processEvents();
    }
    spin([&] {
        for (const qint64 r : received) {
            if (r < total)
                return false;
        }
        return true;
    });
    return count / since(start);
}

struct Installation {
    Installation() {
        port = freePort();
        QFile hive(dir.path() + "/HKEY_CURRENT_USER.ini");
        hive.open(QIODevice::WriteOnly);
        hive.write(("[SOFTWARE\\Keldamed AB\\Panoptra\\External Collect\\1.0\\Tarvo]\nPort=dword:" +
                    QString::number(port) + "\nAutoCreate=dword:1\nClientSocketPort=dword:" +
                    QString::number(freePort() + 1) + "\n")
                       .toUtf8());
        hive.close();
        CollectorEnvironment environment;
        environment.layout = InstallationLayout::portableAt(dir.path());
        QDir().mkpath(environment.layout.driveC);
        environment.executablePath = "datahost_bench";
        environment.firstArgument = Collector::kNoOrvantaSwitch;
        environment.messages = &messages;
        collector = std::make_unique<Collector>(environment);
        collector->start();
        collector->collectionControl().start();
    }
    ~Installation() { collector->close(); }

    QTemporaryDir dir;
    HeadlessOperatorMessages messages;
    int port = 0;
    std::unique_ptr<Collector> collector;
};

// Live results per second from one analyzer sending as fast as the collector takes them.
double analyzerRate(int count, bool stalledStation, qint64* unsent) {
    Installation installation;
    Collector& collector = *installation.collector;
    QTcpSocket stalled;
    if (stalledStation) {
        stalled.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        stalled.setReadBufferSize(4096);
        stalled.connectToHost(QHostAddress::LocalHost, quint16(collector.dataHostServer().Port()));
        stalled.waitForConnected(5000);
        spin([&] { return collector.dataHostServer().StationCount() == 1; });
    }
    QByteArray stream;
    for (int i = 0; i < count; ++i)
        stream += utf16(liveText(i));
    int handled = 0;
    QObject::connect(&collector.messageDispatcher(), &MessageDispatcher::messageHandled,
                     [&](const QString&, TMessageType) { ++handled; });
    const auto start = SteadyClock::now();
    std::thread sender([port = installation.port, stream] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, quint16(port));
        if (!socket.waitForConnected(5000))
            return;
        for (qsizetype at = 0; at < stream.size(); at += 1400) {
            socket.write(stream.mid(at, 1400));
            socket.waitForBytesWritten(-1);
        }
        socket.waitForDisconnected(600000);
    });
    spin([&] { return handled >= count; });
    const double rate = count / since(start);
    *unsent = collector.dataHostServer().BytesForwarded();
    collector.analyzerServer().Deactivate();
    sender.join();
    return rate;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
    const double one = forwardingRate(1, count);
    const double eight = forwardingRate(8, count);
    std::printf("forwarding, 1 station:          %10.0f messages/s\n", one);
    std::printf("forwarding, 8 stations:         %10.0f messages/s (%.2f of 1 station)\n", eight,
                eight / one);
    std::printf("                                %10.0f station messages/s with 8\n", eight * 8);
    // Alternating runs, the best of each: the first run also warms the file cache.
    qint64 forwardedNone = 0;
    qint64 forwardedStalled = 0;
    double none = 0;
    double stalled = 0;
    for (int run = 0; run < 2; ++run) {
        none = std::max(none, analyzerRate(count, false, &forwardedNone));
        stalled = std::max(stalled, analyzerRate(count, true, &forwardedStalled));
    }
    std::printf("analyzer results, no station:   %10.0f results/s\n", none);
    std::printf("analyzer results, stalled one:  %10.0f results/s (%.3f of none; %lld bytes "
                "forwarded to it)\n",
                stalled, stalled / none, static_cast<long long>(forwardedStalled));
    return 0;
}
