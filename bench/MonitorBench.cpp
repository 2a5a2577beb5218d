// Folder monitoring of a shared data root. Prints figures; run a Release build.
//
//   monitor_bench [scan|latency] [N]
//     scan:    1,000 patient folders with 20 archived documents each: the start of monitoring,
//              how many folders the system watches, and the polling scan (ms per scan, N scans,
//              default 20) with its CPU share at the default interval of 10 s
//     latency: N documents (default 8) arriving one at a time in a patient's archive of a
//              collector that monitors the root; time from the file's arrival to the rebuilt
//              Tarvo.pil (p50/p99), with notifications, then with the polling scan alone at
//              the default interval
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include "BenchSupport.h"
#include "Clock.h"
#include "Collector.h"
#include "EventLog.h"
#include "FileWatchHub.h"
#include "FolderMonitor.h"
#include "OperatorMessages.h"
#include "PatientRecordFile.h"
#include "SimulatedMessages.h"

using namespace SimulatedMessages;

namespace {

constexpr int kPatients = 1000;
constexpr int kDocuments = 20;
constexpr int kDefaultPollSeconds = 10;

void runEventLoopMs(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(share * double(values.size())));
    return values[index];
}

QByteArray document(const QString& id, const QString& uniqueId) {
    PatientDocument d;
    d.schemaYear = 2012;
    d.patient = {id, "Anna", "Berg"};
    d.uniqueId = uniqueId;
    d.measurements = 30;
    d.start = QDateTime(QDate(2026, 12, 1), QTime(8, 0));
    return patientData(d).replace("utf-16", "utf-8").toUtf8();
}

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

int scan(int scans) {
    QTemporaryDir dir;
    const QString root = dir.path() + "/";
    const QByteArray text = document("P", "{X}");
    for (int p = 0; p < kPatients; ++p) {
        const QString archive = root + QStringLiteral("P%1/XML-files/").arg(p, 4, 10, QChar('0'));
        QDir().mkpath(archive);
        for (int d = 0; d < kDocuments; ++d)
            write(archive + QStringLiteral("{%1}.xml").arg(d), text);
    }
    EventLog log(SystemClock::instance());
    FolderMonitor monitor({log, SystemClock::instance(), TimerSource::system(), [](const QString&) {
                           }});
    QElapsedTimer elapsed;
    elapsed.start();
    monitor.FirstShowing({root, true, kDefaultPollSeconds, true});
    const double startMs = double(elapsed.nsecsElapsed()) / 1e6;
    int refused = 0;
    for (const auto& watcher : monitor.PatientWatchers())
        refused += watcher->NotificationsRefused() ? 1 : 0;

    std::vector<double> wallMs;
    const std::clock_t cpuStart = std::clock();
    for (int i = 0; i < scans; ++i) {
        elapsed.restart();
        monitor.Poll();
        wallMs.push_back(double(elapsed.nsecsElapsed()) / 1e6);
    }
    const double cpuMs = 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC / scans;
    const double p50 = percentile(wallMs, 0.5);
    std::printf("monitoring started for %d patient folders x %d documents in %.1f ms; the system "
                "watches %d paths, refused %d archives\n",
                kPatients, kDocuments, startMs, monitor.Hub().WatchedPaths(), refused);
    std::printf("polling scan: %.2f ms per scan (p50 of %d, max %.2f), %.2f ms CPU per scan\n", p50,
                scans, *std::max_element(wallMs.begin(), wallMs.end()), cpuMs);
    std::printf("CPU share at the default interval of %d s: %.3f %% (target below 1 %%)\n",
                kDefaultPollSeconds, 100.0 * cpuMs / (kDefaultPollSeconds * 1000.0));
    return 0;
}

// Seconds from each document's arrival until the patient's data file was rebuilt.
std::vector<double> latencies(int samples, bool notifications) {
    QTemporaryDir dir;
    QFile hive(dir.path() + "/HKEY_CURRENT_USER.ini");
    hive.open(QIODevice::WriteOnly);
    hive.write(("[SOFTWARE\\Keldamed AB\\Panoptra\\External Collect\\1.0\\Tarvo]\nPort=dword:" +
                QString::number(freePort()) + "\nMonitorNetworkLocation=dword:1\n" +
                "MonitorNotifications=dword:" + QString::number(notifications ? 1 : 0) + "\n")
                   .toUtf8());
    hive.close();
    CollectorEnvironment environment;
    environment.layout = InstallationLayout::portableAt(dir.path());
    QDir().mkpath(environment.layout.driveC + "TCA/DATA/M1/XML-files");
    const QString folder = environment.layout.driveC + "TCA/DATA/M1/";
    PatientRecordFile::Create("M1", "Anna", folder, "Berg");
    environment.executablePath = "monitor_bench";
    environment.firstArgument = Collector::kNoOrvantaSwitch;
    HeadlessOperatorMessages messages;
    environment.messages = &messages;
    Collector collector(environment);
    collector.start();
    std::mt19937 random(7);
    std::vector<double> seconds;
    auto rebuilds = [&] {
        return collector.log().mainLines().filter("Recreated data for M1").size();
    };
    for (int i = 0; i < samples; ++i) {
        runEventLoopMs(int(random() % 1000)); // arrivals at any phase of the polling scan
        const qsizetype before = rebuilds();
        QElapsedTimer elapsed;
        elapsed.start();
        write(folder + QStringLiteral("XML-files/{L%1}.xml").arg(i),
              document("M1", QStringLiteral("{L%1}").arg(i)));
        while (rebuilds() == before && elapsed.elapsed() < 60000)
            runEventLoopMs(5);
        seconds.push_back(double(elapsed.nsecsElapsed()) / 1e9);
    }
    collector.close();
    return seconds;
}

int latency(int samples) {
    for (const bool notifications : {true, false}) {
        const std::vector<double> seconds = latencies(samples, notifications);
        std::printf("arrival to rebuilt Tarvo.pil, %s: p50 %.2f s, p99 %.2f s (%d documents; "
                    "the rebuild waits 5 s for the rest of a burst)\n",
                    notifications ? "notifications" : "polling every 10 s",
                    percentile(seconds, 0.5), percentile(seconds, 0.99), samples);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("scan");
    const int n = argc > 2 ? std::max(1, atoi(argv[2])) : 0;
    if (mode == "scan")
        return scan(n ? n : 20);
    if (mode == "latency")
        return latency(n ? n : 8);
    std::fprintf(stderr, "usage: monitor_bench [scan|latency] [N]\n");
    return 2;
}
