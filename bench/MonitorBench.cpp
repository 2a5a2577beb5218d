// Folder monitoring of a shared data root. Prints figures; run a Release build.
//
//   monitor_bench [scan [PATIENTS [SCANS]] | latency [N]]
//     scan:    a ward of PATIENTS patient folders (default 1,000) with 168 archived documents
//              each (a week of hourly documents): the start of monitoring, how many paths the
//              system watches, the CPU time of a polling scan (SCANS scans, default 20) of the
//              unchanged ward and of a busy one (a new document in 10 archives before each
//              scan), with its share of a CPU at the default interval of 10 s, beside reading
//              every archive's listing (what a scan cost before it looked at folder stamps)
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
#include "FolderEntries.h"
#include "FolderMonitor.h"
#include "OperatorMessages.h"
#include "PatientRecordFile.h"
#include "SimulatedMessages.h"

using namespace SimulatedMessages;

namespace {

constexpr int kPatients = 1000;
constexpr int kDocuments = 168;
constexpr int kBusyArchives = 10;
constexpr int kDefaultPollSeconds = 10;
constexpr double kTargetShare = 0.5; // per cent of a CPU

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

double cpuSeconds() {
    return double(std::clock()) / CLOCKS_PER_SEC;
}

// Reads every archive's listing with the size and time of every document, as a scan did for
// every archive before it looked at the folders' own stamps; the CPU time in ms, and the
// documents seen.
std::pair<double, qint64> readEveryListing(const QStringList& archives) {
    const double start = cpuSeconds();
    qint64 documents = 0;
    for (const QString& archive : archives)
        forEachFolderEntry(
            archive, [&](const FolderEntry& entry) { documents += entry.modified != 0 ? 1 : 0; });
    return {(cpuSeconds() - start) * 1000.0, documents};
}

void printShare(const char* what, double cpuMs) {
    std::printf("%s: %.2f ms CPU per scan = %.3f %% of a CPU at the default interval of %d s "
                "(target <= %.1f %%)\n",
                what, cpuMs, 100.0 * cpuMs / (kDefaultPollSeconds * 1000.0), kDefaultPollSeconds,
                kTargetShare);
}

// A ward of patient folders under the root, each archive holding every document; the archives.
QStringList writeWard(const QString& root, int patients, const QByteArray& text) {
    QStringList archives;
    for (int p = 0; p < patients; ++p) {
        const QString archive = root + QStringLiteral("P%1/XML-files").arg(p, 4, 10, QChar('0'));
        QDir().mkpath(archive);
        archives << archive;
        for (int d = 0; d < kDocuments; ++d)
            write(archive + QStringLiteral("/{%1}.xml").arg(d), text);
    }
    return archives;
}

void startMonitoring(FolderMonitor& monitor, const QString& root, int patients) {
    QElapsedTimer elapsed;
    elapsed.start();
    monitor.FirstShowing({root, true, kDefaultPollSeconds, true});
    const double startMs = double(elapsed.nsecsElapsed()) / 1e6;
    int refused = 0;
    for (const auto& watcher : monitor.PatientWatchers())
        refused += watcher->NotificationsRefused() ? 1 : 0;
    std::printf("monitoring started for %d patient folders x %d documents in %.1f ms; the system "
                "watches %d paths, refused %d archives\n",
                patients, kDocuments, startMs, monitor.Hub().WatchedPaths(), refused);
}

void scanUnchangedWard(FolderMonitor& monitor, int scans) {
    QElapsedTimer elapsed;
    std::vector<double> wallMs;
    const int listings = monitor.ListingsRead();
    const double start = cpuSeconds();
    for (int i = 0; i < scans; ++i) {
        elapsed.start();
        monitor.Poll();
        wallMs.push_back(double(elapsed.nsecsElapsed()) / 1e6);
    }
    const double steadyMs = (cpuSeconds() - start) * 1000.0 / scans;
    std::printf("unchanged ward: %.2f ms per scan (p50 of %d, max %.2f), %.1f archives read per "
                "scan, every archive read within %d scans\n",
                percentile(wallMs, 0.5), scans, *std::max_element(wallMs.begin(), wallMs.end()),
                double(monitor.ListingsRead() - listings) / scans, monitor.FullCheckRound());
    printShare("unchanged ward", steadyMs);
}

void scanBusyWard(FolderMonitor& monitor, const QStringList& archives, const QByteArray& text,
                  int scans) {
    const int patients = int(archives.size());
    double busyCpu = 0;
    const int listings = monitor.ListingsRead();
    for (int i = 0; i < scans; ++i) {
        for (int b = 0; b < std::min(kBusyArchives, patients); ++b) {
            const int p = (i * kBusyArchives + b) * 97 % patients;
            write(archives[p] + QStringLiteral("/{N%1}.xml").arg(i), text);
        }
        const double start = cpuSeconds();
        monitor.Poll();
        busyCpu += cpuSeconds() - start;
    }
    std::printf("busy ward (a new document in %d archives before each scan): %.1f archives read "
                "per scan\n",
                kBusyArchives, double(monitor.ListingsRead() - listings) / scans);
    printShare("busy ward", busyCpu * 1000.0 / scans);
}

void readEveryListingThrice(const QStringList& archives) {
    double everyMs = 0;
    qint64 documents = 0;
    for (int i = 0; i < 3; ++i) {
        const auto [ms, seen] = readEveryListing(archives);
        everyMs += ms / 3;
        documents = seen;
    }
    std::printf("reading every archive's listing: %lld documents\n",
                static_cast<long long>(documents));
    printShare("reading every archive's listing (the scan before folder stamps)", everyMs);
}

int scan(int patients, int scans) {
    QTemporaryDir dir;
    const QString root = dir.path() + "/";
    // What a scan sees of a document is its name, size and time, not its content.
    const QByteArray text = document("P", "{X}").left(2048);
    const QStringList archives = writeWard(root, patients, text);
    EventLog log(SystemClock::instance());
    FolderMonitor monitor({log, SystemClock::instance(), TimerSource::system(), [](const QString&) {
                           }});
    startMonitoring(monitor, root, patients);

    // The scans here follow each other within milliseconds; at the 10 s interval a stamp read at
    // one scan is older than the settling time at the next, which this stands for.
    monitor.SetStampSettleMs(0);
    const double start = cpuSeconds();
    monitor.Poll();
    std::printf("first scan after the start (reads every archive once more): %.1f ms CPU\n",
                (cpuSeconds() - start) * 1000.0);

    scanUnchangedWard(monitor, scans);
    scanBusyWard(monitor, archives, text, scans);
    readEveryListingThrice(archives);
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
        return scan(n ? n : kPatients, argc > 3 ? std::max(1, atoi(argv[3])) : 20);
    if (mode == "latency")
        return latency(n ? n : 8);
    std::fprintf(stderr, "usage: monitor_bench [scan [PATIENTS [SCANS]] | latency [N]]\n");
    return 2;
}
