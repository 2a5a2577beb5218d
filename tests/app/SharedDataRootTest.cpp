// Two tarvo-collect programs on one data root, as on a ward's network share: A receives an
// analyzer's documents and archives them; B, monitoring the root, rebuilds the same patients
// from that archive.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

#include "SimulatedMessages.h"
#include "StoredFileParser.h"
#include "StrayDataFiles.h"
#include "TempRoot.h"
#include "WaitUntil.h"

namespace {

const QString kBin = QStringLiteral(TARVO_BIN_DIR "/");

class SharedDataRootTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (QProcess* process : {&a, &b}) {
            process->terminate();
            if (!process->waitForFinished(10000))
                process->kill();
        }
    }

    // A portable collector whose data root is the shared folder's "TCA/DATA/".
    void start(QProcess& process, TempRoot& root, int port, const QString& settings) {
        root.writeFile("TarvoCollect.Ini",
                       ("[Orvanta]\r\nTCAData=" + shared.path() + "/TCA/TCADATA.INI\r\n").toUtf8());
        // Two collectors on one machine need data-host servers of their own.
        root.writeHive(RegistryRoot::CurrentUser,
                       QString::fromLatin1(kTarvoSection) +
                           QStringLiteral("Port=dword:%1\nClientSocketPort=dword:%2\n")
                               .arg(port)
                               .arg(freeTcpPort() + 1) +
                           settings);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        process.setProcessEnvironment(environment);
        process.start(kBin + "tarvo-collect", {"NOORVANTA", "--headless", "--root", root.path()});
        ASSERT_TRUE(process.waitForStarted(5000));
        ASSERT_TRUE(waitUntil([&] { return logOf(root).contains("ServerSocketTarvo is active"); }))
            << logOf(root).toStdString();
        ASSERT_TRUE(logOf(root).contains("TCAData final value = " + dataRoot()))
            << logOf(root).toStdString();
    }

    void startBoth(const QString& watching) {
        ASSERT_TRUE(QDir().mkpath(dataRoot()));
        portA = freeTcpPort();
        start(a, rootA, portA, "AutoCreate=dword:1\nAutoStart=dword:1\n");
        start(b, rootB, freeTcpPort(), "MonitorNetworkLocation=dword:1\n" + watching);
    }

    QString dataRoot() const { return shared.path() + "/TCA/DATA/"; }

    static QString logOf(const TempRoot& root) {
        QFile file(root.driveC("TEMP/Tarvo Logfile.txt"));
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    }

    QString run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(kBin + program, arguments);
        EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
        EXPECT_EQ(process.exitCode(), 0) << program.toStdString();
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    QJsonArray series(const QString& id) {
        const QString output = run("tarvo-pil", {"dump", dataRoot() + id + "/Tarvo.pil"});
        return QJsonDocument::fromJson(output.toUtf8()).object().value("series").toArray();
    }

    // A's documents reach its archive and its view; B rebuilds the same view from the archive.
    void expectBRebuildsWhatAReceived() {
        run("tarvo-sim", {"--port", QString::number(portA), "document", "S1", "--schema", "2008",
                          "--measurements", "60"});
        ASSERT_TRUE(waitUntil([&] { return logOf(rootA).contains("Recreated data for S1"); }))
            << logOf(rootA).toStdString();
        const QJsonArray seenByA = series("S1");
        ASSERT_EQ(seenByA.size(), 5) << "three analytes and two ratios";
        ASSERT_TRUE(QFile::remove(dataRoot() + "S1/Tarvo.pil")) << "B's view is B's own work";

        ASSERT_TRUE(
            waitUntil([&] { return logOf(rootB).contains("Recreated data for S1"); }, 30000))
            << logOf(rootB).toStdString();
        const QJsonArray seenByB = series("S1");
        ASSERT_EQ(seenByB.size(), seenByA.size());
        for (qsizetype i = 0; i < seenByA.size(); ++i)
            EXPECT_EQ(seenByB.at(i), seenByA.at(i)) << "series " << i;
        EXPECT_EQ(logOf(rootB).count("Recreated data for S1"), 1) << "one rebuild per burst";
    }

    QTemporaryDir shared;
    TempRoot rootA, rootB;
    QProcess a, b;
    int portA = 0;
};

} // namespace

TEST_F(SharedDataRootTest, TheMonitoringCollectorRebuildsWhatTheOtherOneReceived) {
    startBoth("MonitorPollSeconds=dword:0\n");
    expectBRebuildsWhatAReceived();
}

TEST_F(SharedDataRootTest, PollingAloneSeesTheOtherCollectorsWrites) {
    startBoth("MonitorNotifications=dword:0\nMonitorPollSeconds=dword:1\n");
    expectBRebuildsWhatAReceived();
}

namespace {

using namespace SimulatedMessages;

const QDateTime kFirstDay(QDate(2026, 11, 1), QTime(8, 0));
constexpr int kPointsPerDocument = 100; // of each analyte and ratio

// A patient-data document whose results no other document of the test repeats.
QString burstDocument(const QString& id, int number, int measurements = 3 * kPointsPerDocument) {
    PatientDocument d;
    d.patient = {id, "Anna", "Berg"};
    d.uniqueId = QStringLiteral("{B-%1}").arg(number);
    d.measurements = measurements;
    d.start = kFirstDay.addDays(number * 30);
    d.intervalSeconds = 60;
    d.firstValue = number;
    return patientData(d);
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What a reader opening the data file finds wrong with it; empty when it is whole and holds no
// point twice.
QString faultOf(const QByteArray& data) {
    if (data.isEmpty())
        return "empty";
    try {
        const TStoredFileContent content = StoredFileParser::parse(data);
        if (content.monitors().empty())
            return "no monitor information";
        for (const TFileProblem& problem : content.problems) {
            if (problem.kind != TFileProblem::Kind::ChecksumMismatch)
                return problem.text;
        }
        for (const TParameterSerie* serie : content.series()) {
            if (!serie->Points)
                continue;
            QSet<double> times;
            for (const TSeriesPoint& point : serie->Points->Points) {
                const auto* data = std::get_if<TTarvoDataPoint>(&point);
                if (data == nullptr)
                    continue;
                if (times.contains(data->X))
                    return "a point twice in " + serie->Identity.ParameterName();
                times.insert(data->X);
            }
        }
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

// Of every series of glucose (the units of two documents may differ).
int glucosePoints(const QByteArray& data) {
    int points = 0;
    try {
        const TStoredFileContent content = StoredFileParser::parse(data);
        for (const TParameterSerie* serie : content.series()) {
            if (serie->Identity.ParameterName() == "Glucose" && serie->Points)
                points += int(serie->Points->Points.size());
        }
    } catch (const std::exception&) {
        return -1;
    }
    return points;
}

void pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Every new version of a data file that a reader opening it sees, with what is wrong with it.
struct DataFileReader {
    explicit DataFileReader(const QString& path) : pil(path) {}

    void look() {
        const QByteArray data = contentsOf(pil);
        if (data.isEmpty() || data == last)
            return;
        last = data;
        ++versions;
        const QString fault = faultOf(data);
        if (!fault.isEmpty())
            faults << fault;
    }

    QString pil;
    QByteArray last;
    int versions = 0;
    QStringList faults;
};

} // namespace

class SharedDataRootBursts : public SharedDataRootTest {
protected:
    // Documents for one patient arrive at A in bursts while both collectors write the patient's
    // data file and a reader keeps opening it.
    void burstsWhileReading(const QString& id) {
        QTcpSocket analyzer;
        analyzer.connectToHost(QHostAddress::LocalHost, quint16(portA));
        ASSERT_TRUE(analyzer.waitForConnected(5000));
        DataFileReader reader(dataRoot() + id + "/Tarvo.pil");
        const int expected = sendBursts(analyzer, id, reader) * kPointsPerDocument;
        waitUntilSettled(id, expected, reader);
        const QString& pil = reader.pil;
        EXPECT_EQ(glucosePoints(contentsOf(pil)), expected)
            << logOf(rootA).toStdString() << logOf(rootB).toStdString();
        EXPECT_GT(reader.versions, 1);
        EXPECT_TRUE(reader.faults.isEmpty()) << reader.faults.join("\n").toStdString();
        EXPECT_EQ(faultOf(contentsOf(pil)), QString());
        EXPECT_TRUE(strayDataFiles(dataRoot() + id).isEmpty())
            << strayDataFiles(dataRoot() + id).join(", ").toStdString();
        EXPECT_TRUE(logOf(rootB).contains("Recreated data for " + id));

        stopBoth();
        EXPECT_TRUE(strayDataFiles(dataRoot() + id).isEmpty());
    }

    // Four bursts of three documents while the reader looks; the documents sent.
    static int sendBursts(QTcpSocket& analyzer, const QString& id, DataFileReader& reader) {
        int documents = 0;
        for (int burst = 0; burst < 4; ++burst) {
            for (int k = 0; k < 3; ++k)
                analyzer.write(utf16(burstDocument(id, documents++)));
            // Bursts 3 s apart: some fall within the monitor's five seconds, some after.
            for (int i = 0; i < 150; ++i) {
                pump(20);
                reader.look();
            }
        }
        return documents;
    }

    // Done when the file has held every point for longer than a monitored burst waits.
    void waitUntilSettled(const QString& id, int expected, DataFileReader& reader) {
        QElapsedTimer stable;
        QDeadlineTimer deadline(180000);
        while (!deadline.hasExpired()) {
            pump(20);
            reader.look();
            const bool done = glucosePoints(contentsOf(reader.pil)) == expected &&
                              strayDataFiles(dataRoot() + id).isEmpty();
            if (!done)
                stable.invalidate();
            else if (!stable.isValid())
                stable.start();
            else if (stable.elapsed() > 8000)
                break;
        }
    }

    void stopBoth() {
        for (QProcess* process : {&a, &b}) {
            QElapsedTimer stopping;
            stopping.start();
            process->terminate();
            EXPECT_TRUE(process->waitForFinished(15000));
            EXPECT_LT(stopping.elapsed(), 10000);
        }
    }
};

TEST_F(SharedDataRootBursts, OneCollectingOneMonitoringWriteEveryPointOnceAndNeverATornFile) {
    startBoth("MonitorPollSeconds=dword:0\n");
    burstsWhileReading("S2");
}

TEST_F(SharedDataRootBursts, BothMonitoringWriteEveryPointOnceAndNeverATornFile) {
    ASSERT_TRUE(QDir().mkpath(dataRoot()));
    portA = freeTcpPort();
    start(a, rootA, portA,
          "AutoCreate=dword:1\nAutoStart=dword:1\nMonitorNetworkLocation=dword:1\n"
          "MonitorPollSeconds=dword:0\n");
    start(b, rootB, freeTcpPort(), "MonitorNetworkLocation=dword:1\nMonitorPollSeconds=dword:0\n");
    burstsWhileReading("S3");
}

TEST_F(SharedDataRootTest,
       AStopDuringALongRebuildEndsWithinSecondsAndTheRebuildIsDoneAtTheNextStart) {
    startBoth("MonitorPollSeconds=dword:0\n");
    // A admits the patient (its folder, record file and first document) ...
    run("tarvo-sim", {"--port", QString::number(portA), "document", "BIG", "--measurements", "30"});
    const QString folder = dataRoot() + "BIG/";
    ASSERT_TRUE(waitUntil([&] { return logOf(rootB).contains("Recreated data for BIG"); }, 30000))
        << logOf(rootB).toStdString();
    // ... and another collector's archive brings large documents, which B rebuilds from.
    constexpr int kLarge = 6;
    constexpr int kMeasurements = 30000;
    for (int n = 0; n < kLarge; ++n) {
        const QString name = folder + QStringLiteral("{B-%1}.xml").arg(n);
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(burstDocument("BIG", n, kMeasurements).replace("utf-16", "utf-8").toUtf8());
    }
    for (int n = 0; n < kLarge; ++n) {
        const QString name = QStringLiteral("{B-%1}.xml").arg(n);
        ASSERT_TRUE(QFile::rename(folder + name, folder + "XML-files/" + name));
    }
    // B's rebuild is under way while its file is being built (the log shows it only after).
    ASSERT_TRUE(
        waitUntil([&] { return !QDir(folder).entryList({"Tarvo.pil.*.new"}).isEmpty(); }, 30000))
        << logOf(rootB).toStdString();

    QElapsedTimer stopping;
    stopping.start();
    b.terminate();
    ASSERT_TRUE(b.waitForFinished(30000));
    EXPECT_LT(stopping.elapsed(), 8000) << logOf(rootB).toStdString();
    ASSERT_TRUE(logOf(rootB).contains("The rebuild of BIG was ended by the stop"))
        << logOf(rootB).toStdString();
    EXPECT_FALSE(QFile::exists(folder + "Tarvo.pil.lock"));

    start(b, rootB, freeTcpPort(), "MonitorNetworkLocation=dword:1\nMonitorPollSeconds=dword:0\n");
    EXPECT_TRUE(waitUntil([&] { return logOf(rootB).contains("rebuilding BIG again"); }, 30000))
        << logOf(rootB).toStdString();
    const int expected = 10 + kLarge * kMeasurements / 3;
    EXPECT_TRUE(waitUntil(
        [&] {
            return strayDataFiles(folder).isEmpty() &&
                   glucosePoints(contentsOf(folder + "Tarvo.pil")) == expected;
        },
        120000))
        << strayDataFiles(folder).join(", ").toStdString();
    EXPECT_EQ(faultOf(contentsOf(folder + "Tarvo.pil")), QString());
}
