// The collector end to end in one process: analyzers on loopback connections send live
// measurements and automatic controls while collection runs; and rebuilding a patient with a
// large archive. Prints rates, latencies and ratios; run a Release build.
//
//   dispatch_bench [live|rebuild|connection-flood] [N] [X]
//     live:    N messages per analyzer (default 2000), 8 analyzers, 50 patients, as fast as
//              the collector takes them; then the same analyzers paced at X messages/s
//              together (default 800) for about 3 s, for the latencies
//     rebuild: N measurements in all (default 100000) over 20 archived admissions; the
//              rebuilt patient data file is copied to the file X when given
//     rebuild ward [P] [X]: a ward of P patients (default 1000) with 168 archived documents
//              each (an hour of 18 measurements each), generated into a temporary folder; every
//              patient is rebuilt, against the plain program beside this one (plain_rebuild)
//              that reads, parses and appends a record per measurement; the rebuilt files are
//              copied into the folder X when given
//     connection-flood: N analyzer connections opened and closed at once (default 1000) while
//              another analyzer sends a control every 50 ms; prints the controls' latency
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include "BenchSupport.h"
#include "Collector.h"
#include "LocalTimeZone.h"
#include "OperatorMessages.h"
#include "SimulatedMessages.h"
#include "TSockets.h"
#include "TXMLDocument.h"
#include "Utf16StreamDecoder.h"
#include "XMLTarvoParser.h"
#include "XmlDispatcher.h"

using namespace SimulatedMessages;

namespace {

struct Installation {
    explicit Installation(const QString& settings) {
        port = freePort();
        QFile hive(dir.path() + "/HKEY_CURRENT_USER.ini");
        hive.open(QIODevice::WriteOnly);
        hive.write(("[SOFTWARE\\Keldamed AB\\Panoptra\\External Collect\\1.0\\Tarvo]\nPort=dword:" +
                    QString::number(port) + "\nAutoCreate=dword:1\nUseTarvoSettings=dword:0\n" +
                    settings)
                       .toUtf8());
        hive.close();
        CollectorEnvironment environment;
        environment.layout = InstallationLayout::portableAt(dir.path());
        QDir().mkpath(environment.layout.driveC);
        environment.executablePath = "dispatch_bench";
        environment.firstArgument = Collector::kNoOrvantaSwitch;
        environment.messages = &messages;
        collector = std::make_unique<Collector>(environment);
        collector->start();
    }
    ~Installation() { collector->close(); }

    QTemporaryDir dir;
    HeadlessOperatorMessages messages;
    int port = 0;
    std::unique_ptr<Collector> collector;
};

// The messages of one analyzer: live measurements for the patients and controls between them.
QByteArray analyzerStream(int analyzer, int count, int patients, std::vector<int>* sizes) {
    QByteArray stream;
    const QDateTime start(QDate(2026, 12, 8), QTime(0, 0));
    for (int i = 0; i < count; ++i) {
        QByteArray message;
        if (i % 2 == 1) {
            AutoControlResult r;
            r.low = i % 4 == 1;
            r.analyte = i % 3 == 0 ? "Glucose" : "Lactate";
            r.time = start.addSecs(analyzer * 100000 + i);
            r.value = 1 + i % 9;
            message = utf16(autoControl(r));
        } else {
            LiveMeasurement m;
            const int patient = (analyzer * 7 + i) % patients;
            m.patient = {QStringLiteral("BENCH%1").arg(patient), "Bench", "Patient"};
            m.analyte = i % 6 == 0 ? "Glucose" : "Lactate";
            m.time = start.addSecs(analyzer * 100000 + i);
            m.value = 2 + (i % 20) / 10.0;
            message = utf16(live(m));
        }
        if (sizes)
            sizes->push_back(int(message.size()));
        stream += message;
    }
    return stream;
}

double bareFramingRate(const QByteArray& stream) {
    TSockets records;
    FramingDispatcher dispatcher(records);
    Utf16StreamDecoder decoder;
    int messages = 0;
    QObject::connect(&dispatcher, &FramingDispatcher::messageCut,
                     [&](const QString&, TMessageType, const QString&) { ++messages; });
    const auto start = SteadyClock::now();
    for (qsizetype at = 0; at < stream.size(); at += 4096)
        dispatcher.Dispatch(decoder.decode(stream.mid(at, 4096)), "127.0.0.1");
    return messages / since(start);
}

double percentile(std::vector<double> values, double share) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(double(values.size()) * share))];
}

qint64 nanosSince(SteadyClock::time_point origin) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(SteadyClock::now() - origin)
        .count();
}

// One analyzer on its own thread: connects from its own loopback address and sends its stream,
// either as fast as the collector takes it (in 1400-byte pieces) or message by message at a
// fixed pace, noting when each message's last byte went out.
void startAnalyzer(int port, const QString& address, const QByteArray& stream,
                   std::vector<int> sizes, double messagesPerSecond,
                   std::vector<std::atomic<qint64>>* sentAt, SteadyClock::time_point origin) {
    std::thread([=] {
        QTcpSocket socket;
        socket.bind(QHostAddress(address));
        socket.connectToHost(QHostAddress::LocalHost, quint16(port));
        if (!socket.waitForConnected(5000))
            return;
        if (messagesPerSecond <= 0) {
            for (qsizetype at = 0; at < stream.size(); at += 1400) {
                socket.write(stream.mid(at, 1400));
                socket.waitForBytesWritten(10000);
            }
        } else {
            const auto period = std::chrono::duration<double>(1.0 / messagesPerSecond);
            const auto first = SteadyClock::now();
            qsizetype at = 0;
            for (std::size_t k = 0; k < sizes.size(); ++k) {
                std::this_thread::sleep_until(
                    first + std::chrono::duration_cast<SteadyClock::duration>(period * double(k)));
                (*sentAt)[k].store(nanosSince(origin), std::memory_order_release);
                socket.write(stream.mid(at, sizes[k]));
                socket.waitForBytesWritten(10000);
                at += sizes[k];
            }
        }
        while (socket.bytesToWrite() > 0)
            socket.waitForBytesWritten(10000);
        std::this_thread::sleep_for(std::chrono::seconds(120));
    }).detach();
}

struct LiveFigures {
    int handled = 0;
    int controls = 0;
    double seconds = 0;
    std::vector<double> cutToDisk;  // ms, stored controls
    std::vector<double> sendToDisk; // ms, stored controls, paced runs only
};

// Runs the analyzers' streams through the collector's event loop until every message has been
// handled; messagesPerSecond 0 sends as fast as the collector takes them.
LiveFigures runAnalyzers(Installation& installation, int firstAddress,
                         const std::vector<QByteArray>& streams,
                         const std::vector<std::vector<int>>& sizes, double messagesPerSecond) {
    Collector& collector = *installation.collector;
    const auto origin = SteadyClock::now();
    const int analyzers = int(streams.size());
    std::vector<std::vector<std::atomic<qint64>>> sentAt;
    QHash<QString, int> analyzerOf;
    int expected = 0;
    for (int a = 0; a < analyzers; ++a) {
        sentAt.emplace_back(sizes[std::size_t(a)].size());
        analyzerOf.insert(QStringLiteral("127.0.0.%1").arg(firstAddress + a), a);
        expected += int(sizes[std::size_t(a)].size());
    }
    std::vector<std::size_t> handledOf(std::size_t(analyzers), 0);

    LiveFigures figures;
    QEventLoop loop;
    QHash<QString, SteadyClock::time_point> cutAt;
    const QMetaObject::Connection cut =
        QObject::connect(&collector.messageDispatcher(), &MessageDispatcher::messageCut,
                         [&](const QString& identity, TMessageType, const QString&) {
                             cutAt[identity] = SteadyClock::now();
                         });
    const QMetaObject::Connection handled = QObject::connect(
        &collector.messageDispatcher(), &MessageDispatcher::messageHandled,
        [&](const QString& identity, TMessageType type) {
            const int a = analyzerOf.value(identity, -1);
            if (a < 0)
                return;
            const std::size_t k = handledOf[std::size_t(a)]++;
            ++figures.handled;
            if (type == TMessageType::mtXMLTarvoAutoControl) {
                ++figures.controls;
                const auto now = SteadyClock::now();
                figures.cutToDisk.push_back(
                    std::chrono::duration<double, std::milli>(now - cutAt.value(identity)).count());
                if (messagesPerSecond > 0 && k < sizes[std::size_t(a)].size()) {
                    const qint64 sent = sentAt[std::size_t(a)][k].load(std::memory_order_acquire);
                    figures.sendToDisk.push_back(double(nanosSince(origin) - sent) / 1e6);
                }
            }
            if (figures.handled >= expected)
                loop.quit();
        });
    for (int a = 0; a < analyzers; ++a)
        startAnalyzer(installation.port, QStringLiteral("127.0.0.%1").arg(firstAddress + a),
                      streams[std::size_t(a)], sizes[std::size_t(a)], messagesPerSecond / analyzers,
                      &sentAt[std::size_t(a)], origin);
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);
    // The collector runs in an event loop as in the program, so that what one turn of the loop
    // does together (the event log's rewrite) is measured as the program does it.
    loop.exec();
    figures.seconds = since(origin);
    QObject::disconnect(cut);
    QObject::disconnect(handled);
    return figures;
}

void live(int perAnalyzer, double pacedRate) {
    constexpr int kAnalyzers = 8;
    constexpr int kPatients = 50;
    Installation installation("");
    Collector& collector = *installation.collector;
    collector.collectionControl().start();

    std::vector<QByteArray> streams;
    std::vector<std::vector<int>> sizes(kAnalyzers);
    for (int a = 0; a < kAnalyzers; ++a)
        streams.push_back(analyzerStream(a, perAnalyzer, kPatients, &sizes[std::size_t(a)]));
    const LiveFigures full = runAnalyzers(installation, 2, streams, sizes, 0);

    // The same collector at a pace it can keep up with: how long one result takes to reach the
    // disk, from the analyzer's side.
    const int pacedPerAnalyzer = std::max(1, int(pacedRate * 3 / kAnalyzers));
    std::vector<QByteArray> pacedStreams;
    std::vector<std::vector<int>> pacedSizes(kAnalyzers);
    for (int a = 0; a < kAnalyzers; ++a)
        pacedStreams.push_back(analyzerStream(a + kAnalyzers, pacedPerAnalyzer, kPatients,
                                              &pacedSizes[std::size_t(a)]));
    const LiveFigures paced =
        runAnalyzers(installation, 2 + kAnalyzers, pacedStreams, pacedSizes, pacedRate);

    QByteArray all;
    for (const QByteArray& s : streams)
        all += s;
    const double framing = bareFramingRate(all);
    const double rate = full.handled / full.seconds;
    std::printf("live: %d analyzers x %d messages, %d patients, collecting, all ticked\n",
                kAnalyzers, perAnalyzer, kPatients);
    std::printf("  handled %d of %d messages (%d stored controls) in %.2f s: %.0f results/s\n",
                full.handled, kAnalyzers * perAnalyzer, full.controls, full.seconds, rate);
    std::printf("  stored control latency, cut to on disk: p50 %.2f ms, p99 %.2f ms\n",
                percentile(full.cutToDisk, 0.5), percentile(full.cutToDisk, 0.99));
    std::printf("  bare framing of the same bytes: %.0f messages/s; end to end is %.1f x slower\n",
                framing, framing / rate);
    std::printf(
        "paced: %d analyzers at %.0f messages/s together, %d messages (%d stored controls)\n",
        kAnalyzers, pacedRate, paced.handled, paced.controls);
    std::printf("  stored control latency, cut to on disk: p50 %.2f ms, p99 %.2f ms\n",
                percentile(paced.cutToDisk, 0.5), percentile(paced.cutToDisk, 0.99));
    std::printf("  stored control latency, sent by the analyzer to on disk: p50 %.2f ms, "
                "p99 %.2f ms\n",
                percentile(paced.sendToDisk, 0.5), percentile(paced.sendToDisk, 0.99));
    std::fflush(stdout);
    QDir(installation.dir.path()).removeRecursively();
    std::_Exit(0); // the analyzer threads still hold their sockets open
}

void rebuild(int measurements, const QString& keep) {
    constexpr int kDocuments = 20;
    Installation installation("");
    Collector& collector = *installation.collector;
    collector.collectionControl().start();
    const QString folder = collector.state().dataRoot + "REBUILD/XML-files/";
    QDir().mkpath(folder);
    qint64 bytes = 0;
    QStringList files;
    for (int d = 0; d < kDocuments; ++d) {
        PatientDocument document;
        document.patient = {"REBUILD", "Bench", "Patient"};
        document.uniqueId = QStringLiteral("{ADM-%1}").arg(d);
        document.analytes = {"Glucose", "Lactate", "Pyruvate", "Glycerol", "Glutamate", "Urea"};
        document.places = {"CNS", "Muscle", "Adipose"};
        document.measurements = measurements / kDocuments;
        document.start = QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addDays(d * 30);
        QString text = patientData(document);
        text.replace("utf-16", "utf-8");
        const QString path = folder + document.uniqueId + ".xml";
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        bytes += file.write(text.toUtf8());
        files << path;
    }
    // Reading and binding the same documents alone.
    auto start = SteadyClock::now();
    int bound = 0;
    for (const QString& path : files) {
        TXMLDocument document;
        document.LoadFromFile(path);
        bound += XMLTarvoParser::GetTarvo(document).Count();
    }
    const double parse = since(start);

    start = SteadyClock::now();
    const RecreationOutcome outcome = collector.recreatePatientData("REBUILD");
    const double rebuilt = since(start);
    std::printf("rebuild: %d archived admissions, %d measurements, %.1f MB\n", kDocuments,
                measurements, bytes / 1e6);
    std::printf("  RecreatePatient %.2f s (%d documents read, %d skipped; target under 3 s)\n",
                rebuilt, outcome.documents - outcome.skipped, outcome.skipped);
    std::printf("  parsing the same documents alone %.2f s (%d admissions); ratio %.1f\n", parse,
                bound, rebuilt / parse);
    if (!keep.isEmpty()) {
        QFile::remove(keep);
        QFile::copy(collector.state().dataRoot + "REBUILD/Tarvo.pil", keep);
    }
}

constexpr int kWardDocuments = 168;
constexpr int kWardPerDocument = 18;

QString wardPatient(int p) {
    return QStringLiteral("W%1").arg(p, 4, 10, QChar(u'0'));
}

// A week of hourly documents in every patient's archive; the bytes written.
qint64 writeWardArchives(const QString& root, int patients) {
    qint64 bytes = 0;
    for (int p = 0; p < patients; ++p) {
        const QString folder = root + wardPatient(p) + "/XML-files/";
        QDir().mkpath(folder);
        for (int d = 0; d < kWardDocuments; ++d) {
            PatientDocument document;
            document.patient = {wardPatient(p), "Ward", "Patient"};
            document.uniqueId = QStringLiteral("{ADM-%1-%2}").arg(wardPatient(p)).arg(d);
            document.analytes = {"Glucose", "Lactate", "Pyruvate", "Glycerol", "Glutamate", "Urea"};
            document.measurements = kWardPerDocument;
            document.intervalSeconds = 1200;
            document.firstValue = d;
            document.start = QDateTime(QDate(2026, 12, 1), QTime(0, 0)).addSecs(qint64(d) * 3600);
            QString text = patientData(document);
            text.replace("utf-16", "utf-8");
            QFile file(folder + document.uniqueId + ".xml");
            file.open(QIODevice::WriteOnly);
            bytes += file.write(text.toUtf8());
        }
    }
    return bytes;
}

// The plain program over the ward, three times; the seconds of each run, sorted.
std::vector<double> runPlainProgram(const QString& root) {
    const QString plain = QCoreApplication::applicationDirPath() + "/plain_rebuild";
    QTemporaryDir plainOutput;
    std::vector<double> runs;
    for (int round = 0; round < 3; ++round) {
        QProcess process;
        const auto start = SteadyClock::now();
        process.start(plain, {root, plainOutput.path()});
        if (!process.waitForFinished(-1) || process.exitCode() != 0) {
            std::fprintf(stderr, "dispatch_bench: %s failed\n", qPrintable(plain));
            std::exit(1);
        }
        runs.push_back(since(start));
        if (round == 0)
            std::printf("  plain program: %s", process.readAllStandardOutput().constData());
    }
    std::sort(runs.begin(), runs.end());
    return runs;
}

// Every patient rebuilt by the collector, three times; the seconds of each round, sorted.
std::vector<double> rebuildEveryPatient(Collector& collector, int patients) {
    std::vector<double> runs;
    for (int round = 0; round < 3; ++round) {
        int read = 0;
        int skipped = 0;
        const auto start = SteadyClock::now();
        for (int p = 0; p < patients; ++p) {
            const RecreationOutcome outcome = collector.recreatePatientData(wardPatient(p));
            read += outcome.documents - outcome.skipped;
            skipped += outcome.skipped;
        }
        runs.push_back(since(start));
        if (read != patients * kWardDocuments || skipped != 0) {
            std::fprintf(stderr, "dispatch_bench: %d documents read, %d skipped\n", read, skipped);
            std::exit(1);
        }
    }
    std::sort(runs.begin(), runs.end());
    return runs;
}

void printWardFigures(int patients, const std::vector<double>& plainRuns,
                      const std::vector<double>& rebuildRuns) {
    std::printf("  plain program (read, parse with pugixml, append a record per measurement): "
                "%.2f / %.2f / %.2f s\n",
                plainRuns[0], plainRuns[1], plainRuns[2]);
    std::printf("  RecreatePatient of every patient: %.2f / %.2f / %.2f s, %.0f documents/s\n",
                rebuildRuns[0], rebuildRuns[1], rebuildRuns[2],
                patients * kWardDocuments / rebuildRuns[1]);
    std::printf("  ratio to the plain program (min/median/max): %.2f / %.2f / %.2f (target at "
                "most 3)\n",
                rebuildRuns[0] / plainRuns[1], rebuildRuns[1] / plainRuns[1],
                rebuildRuns[2] / plainRuns[1]);
}

// A ward's full rebuild: every patient of the ward rebuilt from an archive of a week's hourly
// documents, against the plain program that reads, parses and appends a record per measurement.
void rebuildWard(int patients, const QString& keep) {
    Installation installation("");
    Collector& collector = *installation.collector;
    collector.collectionControl().start();
    const QString root = collector.state().dataRoot;
    const auto start = SteadyClock::now();
    const qint64 bytes = writeWardArchives(root, patients);
    std::printf("rebuild ward: %d patients x %d archived documents of %d measurements, %.1f MB "
                "(generated in %.1f s)\n",
                patients, kWardDocuments, kWardPerDocument, bytes / 1e6, since(start));
    std::fflush(stdout);

    // The plain program, three times (the median counts), then the collector three times.
    const std::vector<double> plainRuns = runPlainProgram(root);
    std::vector<double> rebuildRuns;
    runInEventLoop([&] { rebuildRuns = rebuildEveryPatient(collector, patients); });
    printWardFigures(patients, plainRuns, rebuildRuns);
    for (int p = 0; !keep.isEmpty() && p < patients; ++p) {
        QDir().mkpath(keep);
        QFile::remove(keep + "/" + wardPatient(p) + ".pil");
        QFile::copy(root + wardPatient(p) + "/Tarvo.pil", keep + "/" + wardPatient(p) + ".pil");
    }
}

// What the control analyzer, the flooding connections and the collector share.
struct Flood {
    std::mutex mutex;
    std::vector<SteadyClock::time_point> sentAt;
    std::vector<double> latencies; // in the order the controls were sent
    std::atomic<bool> started{false};
    std::atomic<bool> handled{false};
    std::atomic<bool> controlsDone{false};
    int disconnects = 0;
    SteadyClock::time_point startedAt;
};

// Counts the disconnects, and the latency of every control once it is stored.
void observe(Collector& collector, Flood& flood) {
    QObject::connect(&collector.analyzerServer(), &ServerSocketTarvo::clientDisconnected,
                     [&flood](const QString&) { ++flood.disconnects; });
    QObject::connect(&collector.messageDispatcher(), &MessageDispatcher::messageHandled,
                     [&flood](const QString&, TMessageType type) {
                         if (type != TMessageType::mtXMLTarvoAutoControl)
                             return;
                         const std::lock_guard lock(flood.mutex);
                         const std::size_t index = flood.latencies.size();
                         if (index < flood.sentAt.size())
                             flood.latencies.push_back(std::chrono::duration<double, std::milli>(
                                                           SteadyClock::now() - flood.sentAt[index])
                                                           .count());
                     });
}

// The other analyzer: a control every 50 ms before, during and a few after the flood.
void sendControls(int port, Flood& flood) {
    QTcpSocket socket;
    socket.bind(QHostAddress(QStringLiteral("127.0.0.2")));
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    if (!socket.waitForConnected(5000))
        return;
    const QDateTime start(QDate(2026, 12, 8), QTime(0, 0));
    int after = 0;
    for (int i = 0; after < 5; ++i) {
        if (i == 10)
            flood.started = true;
        if (flood.handled)
            ++after;
        AutoControlResult r;
        r.time = start.addSecs(i);
        r.value = 1 + i % 9;
        const QByteArray message = utf16(autoControl(r));
        {
            const std::lock_guard lock(flood.mutex);
            flood.sentAt.push_back(SteadyClock::now());
        }
        socket.write(message);
        while (socket.bytesToWrite() > 0)
            socket.waitForBytesWritten(10000);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    flood.controlsDone = true;
    std::this_thread::sleep_for(std::chrono::seconds(600));
}

// Once the controls are under way, connections that open and close at once.
void openAndClose(int port, int connections, Flood& flood) {
    while (!flood.started)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    flood.startedAt = SteadyClock::now();
    for (int n = 0; n < connections; ++n) {
        QTcpSocket socket;
        socket.bind(QHostAddress(QStringLiteral("127.0.1.%1").arg(1 + n % 250)));
        socket.connectToHost(QHostAddress::LocalHost, quint16(port));
        if (socket.waitForConnected(5000))
            socket.abort();
    }
}

// The collector's events until the flood is gone and every control stored; the flood's seconds.
double handleFlood(int connections, Flood& flood, std::thread& flooding) {
    const auto start = SteadyClock::now();
    while (flood.disconnects < connections && since(start) < 600)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    flooding.join();
    const double floodSeconds =
        std::chrono::duration<double>(SteadyClock::now() - flood.startedAt).count();
    flood.handled = true;
    while (since(start) < 660) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const std::lock_guard lock(flood.mutex);
        if (flood.controlsDone && flood.latencies.size() == flood.sentAt.size())
            break;
    }
    return floodSeconds;
}

void printFlood(int connections, double floodSeconds, Flood& flood) {
    std::vector<double> during;
    {
        const std::lock_guard lock(flood.mutex);
        for (std::size_t i = 10; i < flood.latencies.size(); ++i)
            during.push_back(flood.latencies[i]);
    }
    std::sort(during.begin(), during.end());
    const double worst = during.empty() ? 0 : during.back();
    const double median = during.empty() ? 0 : during[during.size() / 2];
    std::printf("connection-flood: %d connections opened and closed at once, collecting\n",
                connections);
    std::printf("  the collector handled them in %.2f s: %.0f connections/s\n", floodSeconds,
                connections / floodSeconds);
    std::printf("  stored control latency during the flood, sent to on disk: p50 %.1f ms, "
                "worst %.1f ms of %zu controls (target: worst under 1000 ms)\n",
                median, worst, during.size());
    std::printf("  ratio of the worst latency to the target: %.2f\n", worst / 1000.0);
    std::fflush(stdout);
}

// A flood of connections that open and close at once, and a control every 50 ms from another
// analyzer: how long a control waits, from being sent to being on disk, while the collector
// works through the connect and disconnect events.
void connectionFlood(int connections) {
    Installation installation("");
    Collector& collector = *installation.collector;
    collector.collectionControl().start();
    Flood flood;
    observe(collector, flood);
    std::thread(sendControls, installation.port, std::ref(flood)).detach();
    std::thread flooding(openAndClose, installation.port, connections, std::ref(flood));
    printFlood(connections, handleFlood(connections, flood, flooding), flood);
    std::_Exit(0); // the control analyzer's thread still holds its socket open
}

} // namespace

int main(int argc, char** argv) {
    readLocalTimeZoneOnce(); // as the program does at start-up
    QCoreApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("live");
    const int n = argc > 2 ? std::atoi(argv[2]) : 0;
    const QString extra = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    if (mode == QLatin1String("rebuild") && argc > 2 && QLatin1String(argv[2]) == "ward")
        rebuildWard(argc > 3 ? std::max(1, std::atoi(argv[3])) : 1000,
                    argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString());
    else if (mode == QLatin1String("rebuild"))
        rebuild(n > 0 ? n : 100000, extra);
    else if (mode == QLatin1String("connection-flood"))
        connectionFlood(n > 0 ? n : 1000);
    else
        live(n > 0 ? n : 2000, extra.toDouble() > 0 ? extra.toDouble() : 800);
    return 0;
}
