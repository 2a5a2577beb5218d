// Record-line analyzers as a running collector meets them: tarvo-sim sends over loopback, the
// patient files are read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QThread>

#include "AstmHost.h"

#include "OleDateTime.h"
#include "OperatorCommands.h"
#include "RunningCollector.h"
#include "StoredFileParser.h"
#include "StoredPoints.h"
#include "TempRoot.h"
#include "WaitUntil.h"

namespace {

const QString kBin = QStringLiteral(TARVO_BIN_DIR "/");

class LineCollectorTest : public ::testing::Test {
protected:
    void start(const QString& protocol, const QString& settings = {}) {
        running = std::make_unique<RunningCollector>(
            root, QStringLiteral("AutoStart=dword:1\nCommunicationProtocol=") + protocol + u'\n' +
                      settings);
        ASSERT_TRUE(running->started);
    }

    // Runs tarvo-sim against the collector while the collector's event loop runs.
    void sim(QStringList arguments) {
        arguments = QStringList{"--port", QString::number(running->port)} + arguments;
        QProcess process;
        process.start(kBin + "tarvo-sim", arguments);
        ASSERT_TRUE(process.waitForStarted(5000));
        ASSERT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }, 30000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    }

    std::vector<StoredPoint> points(const QString& id) {
        return storedPoints(running->patientFolder(id) + "Tarvo.pil");
    }

    TempRoot root;
    std::unique_ptr<RunningCollector> running;
};

} // namespace

TEST_F(LineCollectorTest, RecordLinesFromTheSimulatorAreStored) {
    start("HL7");
    sim({"records", "R1", "Glucose", "4.25", "--time", "2026-12-08T10:00:00"});
    ASSERT_TRUE(waitUntil([&] { return points("R1").size() == 1; }));
    const StoredPoint point = points("R1").front();
    EXPECT_EQ(point.parameter, "Glucose");
    EXPECT_EQ(point.place, "CNS");
    EXPECT_EQ(point.unit, "mmol/L");
    EXPECT_DOUBLE_EQ(point.value, 4.25);
    EXPECT_EQ(point.vialId, "A1");

    const QString file = root.writeFile(
        "lines.txt", "H|\\^~&|||TARVOflex^SN5||||||||1.0|20100423105919\r\n"
                     "P|||12-34.56,7||Berg^Asa\r\n"
                     "O|||Sample #^B2||||20100423105743||||||||MD Sample^II\r\n"
                     "R||^^^Pyruvate^|226,0874|\xC2\xB5M||||OK|||20100423105743\r\n\x04\r\n"
                     "H|\\^~&|||TARVOflex^SN5||||||||1.0|20100423105919\r\n"
                     "P|||12-34.56,7||Berg^Asa\r\n"
                     "O|||QC #^AutoControlLow||||20100423110000||||||||MD Sample^V3\r\n"
                     "R||^^^Lactate^|1.5|mM||||OK|||20100423110000\r\nL|1|N\r\n\x04\r\n"
                     "H|\\^~&|||TARVOflex^SN5||||||EventText|1.0|20100423105919\r\n"
                     "P|||12-34.56,7||Berg^Asa\r\n"
                     "R||^^^EventItem^|Catheter moved||||||||20100423101500\r\nL|1|N\r\n\x04\r\n");
    sim({"--pieces", "file", file});
    ASSERT_TRUE(waitUntil([&] { return !points("SN5QC").empty(); }));
    const auto patient = points("1234567");
    ASSERT_EQ(patient.size(), 1u);
    EXPECT_EQ(patient[0].unit, QStringLiteral("µM"));
    EXPECT_DOUBLE_EQ(patient[0].value, 226.0874);
    const auto controls = points("SN5QC");
    ASSERT_EQ(controls.size(), 1u);
    EXPECT_EQ(controls[0].place, "Low");
    ASSERT_TRUE(waitUntil(
        [&] { return QFile::exists(running->patientFolder("1234567") + "TarvoEvents.pil"); }));
    EXPECT_EQ(running->collector->state().collection, CollectionState::Collecting);
}

TEST_F(LineCollectorTest, StopEndsTheSeriesOfThePatientAnAnalyzerSentLast) {
    start("HL7");
    running->connectFrom(); // an analyzer stays connected: collecting does not go offline
    sim({"records", "E1", "Glucose", "4.25", "--time", "2026-12-08T09:00:00"});
    sim({"records", "E2", "Glucose", "4.5", "--time", "2026-12-08T10:00:00"});
    ASSERT_TRUE(waitUntil([&] { return points("E2").size() == 1; }));
    running->collector->collectionControl().stop();

    const QDateTime endTime(QDate(2026, 12, 8), QTime(10, 0, 1));
    EXPECT_EQ(running->calls.filter("AddEndPoint").size(), 1)
        << running->calls.join('\n').toStdString();
    QFile file(running->patientFolder("E2") + "Tarvo.pil");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const TStoredFileContent content = StoredFileParser::parse(file.readAll());
    ASSERT_EQ(content.series().size(), 1u);
    ASSERT_TRUE(content.series()[0]->Points);
    const std::vector<TSeriesPoint>& series = content.series()[0]->Points->Points;
    ASSERT_EQ(series.size(), 2u);
    ASSERT_TRUE(std::holds_alternative<TRecordDelimiterPoint>(series[1]));
    EXPECT_EQ(OleDateTime::toDateTime(std::get<TRecordDelimiterPoint>(series[1]).X), endTime);
    // The analyzer went on to E2: E1 is no longer its sending patient.
    QFile earlier(running->patientFolder("E1") + "Tarvo.pil");
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    const TStoredFileContent before = StoredFileParser::parse(earlier.readAll());
    ASSERT_EQ(before.series().size(), 1u);
    ASSERT_TRUE(before.series()[0]->Points);
    EXPECT_EQ(before.series()[0]->Points->Points.size(), 1u) << "no end point for E1";
}

TEST_F(LineCollectorTest, TheFullRelayDeliversEveryResultToTheHost) {
    AstmHost host({});
    ASSERT_TRUE(host.listen(0));
    QStringList messages;
    QObject::connect(&host, &AstmHost::report, [&](const QByteArray& line) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.value("event").toString() == "message")
            messages << object.value("records").toVariant().toStringList().join('|');
    });
    start("HL7Telcor", QStringLiteral("RelayDataToHost=dword:1\nHostOther=127.0.0.1\n"
                                      "PortOther=dword:%1\nIncludeChecksum=dword:1\n")
                           .arg(host.port()));
    sim({"--repeat", "3", "records", "T1", "Lactate", "2.5", "--time", "2026-12-08T10:00:00"});
    ASSERT_TRUE(waitUntil([&] { return messages.size() == 3; }));
    for (const QString& message : messages)
        EXPECT_TRUE(message.startsWith("H|\\^&|||TARVOflex^SIM001") &&
                    message.contains("|P|1||T1||") &&
                    message.contains("|R|1|^^^Lactate^|2.500|mmol/L||||OK|||20261208100000|L|1|N"))
            << message.toStdString();
    EXPECT_EQ(points("T1").size(), 3u);
    EXPECT_TRUE(running->collector->status().caption().contains("Relaying HL7 data to "))
        << running->collector->status().caption().toStdString();
}

TEST_F(LineCollectorTest, TheHl7ProtocolPassesTheTextThrough) {
    QTcpServer relayHost;
    ASSERT_TRUE(relayHost.listen(QHostAddress::LocalHost));
    start("HL7", QStringLiteral("RelayDataToHost=dword:1\nHostOther=127.0.0.1\n"
                                "PortOther=dword:%1\nFilter194=dword:1\n")
                     .arg(relayHost.serverPort()));
    ASSERT_TRUE(waitUntil([&] { return relayHost.hasPendingConnections(); }));
    QTcpSocket* relayed = relayHost.nextPendingConnection();
    ASSERT_TRUE(waitUntil([&] {
        return running->collector->lineRelay().Transport().Connection() ==
               RelayConnectionState::Connected;
    }));
    QTcpSocket& analyzer = running->connectFrom();
    const QByteArray text = "H|\\^~&|||TARVOflex^SN1\rR||^^^Glucose^|1|\xC2\xB5M\r\x04";
    ASSERT_TRUE(running->send(analyzer, text));
    QByteArray received;
    ASSERT_TRUE(waitUntil([&] {
        received += relayed->readAll();
        return received.size() >= text.size() - 1;
    }));
    EXPECT_EQ(received, QByteArray(text).replace(char(0xC2), QByteArray()));
}

TEST_F(LineCollectorTest, MessagesForAnAbsentHostAreSentAfterARestartOnceInOrder) {
    const int hostPort = freeTcpPort();
    const QString settings = QStringLiteral("RelayDataToHost=dword:1\nHostOther=127.0.0.1\n"
                                            "PortOther=dword:%1\n")
                                 .arg(hostPort);
    start("HL7Telcor", settings);
    sim({"records", "S1", "Glucose", "1", "--time", "2026-12-08T10:00:00"});
    sim({"records", "S2", "Glucose", "2", "--time", "2026-12-08T10:01:00"});
    ASSERT_TRUE(waitUntil([&] { return points("S2").size() == 1; }));
    EXPECT_EQ(running->collector->lineRelay().Queue().Count(), 6);
    running.reset();

    AstmHost host({});
    ASSERT_TRUE(host.listen(quint16(hostPort)));
    QStringList messages;
    QObject::connect(&host, &AstmHost::report, [&](const QByteArray& line) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.value("event").toString() == "message")
            messages << object.value("records").toVariant().toStringList().join('|');
    });
    start("HL7Telcor", settings);
    EXPECT_TRUE(running->logged("relay entries not yet sent were taken back"));
    ASSERT_TRUE(waitUntil([&] { return running->collector->lineRelay().Queue().Count() == 0; }));
    ASSERT_TRUE(waitUntil([&] { return messages.size() == 2; }));
    EXPECT_TRUE(messages[0].contains("|P|1||S1||"));
    EXPECT_TRUE(messages[1].contains("|P|1||S2||"));
    sim({"records", "S3", "Glucose", "3"});
    ASSERT_TRUE(waitUntil([&] { return messages.size() == 3; }));
    EXPECT_TRUE(messages[2].contains("|P|1||S3||")) << "nothing sent twice";
}

TEST_F(LineCollectorTest, AnalyzersSendingAtOnceKeepTheirPatientsApart) {
    // Every analyzer sends in random pieces, all at once; each result must reach its own
    // patient's file, and no other folder may appear.
    start("HL7");
    const QString dataRoot = running->collector->state().dataRoot;
    constexpr int kResults = 40;
    for (const int analyzers : {2, 8}) {
        std::vector<std::unique_ptr<QProcess>> senders;
        QStringList expected;
        for (int k = 0; k < analyzers; ++k) {
            const QString id = QStringLiteral("N%1A%2P").arg(analyzers).arg(k);
            expected << id + "0" << id + "1";
            auto& sender = senders.emplace_back(std::make_unique<QProcess>());
            sender->start(kBin + "tarvo-sim",
                          {"--port", QString::number(running->port), "--pieces", "--seed",
                           QString::number(k + 1), "records", id, "Glucose", QString::number(k),
                           "--results", QString::number(kResults), "--patients", "2"});
            ASSERT_TRUE(sender->waitForStarted(5000));
        }
        ASSERT_TRUE(waitUntil(
            [&] {
                return std::all_of(senders.begin(), senders.end(), [](const auto& sender) {
                    return sender->state() == QProcess::NotRunning;
                });
            },
            60000));
        for (const auto& sender : senders)
            ASSERT_EQ(sender->exitCode(), 0) << sender->readAllStandardError().toStdString();
        ASSERT_TRUE(waitUntil([&] {
            return std::all_of(expected.begin(), expected.end(), [&](const QString& id) {
                return points(id).size() >= kResults / 2;
            });
        })) << analyzers
            << " analyzers";
        for (int k = 0; k < analyzers; ++k) {
            for (const QString& id : expected.mid(2 * k, 2)) {
                const auto stored = points(id);
                EXPECT_EQ(stored.size(), size_t(kResults / 2)) << id.toStdString();
                // Result i of analyzer k has the value k + i / 1000 and goes to patient i mod 2.
                for (const StoredPoint& point : stored) {
                    const int i = int(std::lround((point.value - k) * 1000));
                    EXPECT_TRUE(i >= 0 && i < kResults && i % 2 == id.right(1).toInt())
                        << id.toStdString() << " holds " << point.value;
                }
            }
        }
    }
    QStringList folders = QDir(dataRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QStringList all;
    for (const int analyzers : {2, 8})
        for (int k = 0; k < analyzers; ++k)
            all << QStringLiteral("N%1A%2P0").arg(analyzers).arg(k)
                << QStringLiteral("N%1A%2P1").arg(analyzers).arg(k);
    folders.sort();
    all.sort();
    EXPECT_EQ(folders, all) << "no folder of a patient nobody sent";
}

TEST_F(LineCollectorTest, RecordLinesReadByTheStopAreStoredBeforeTheEnd) {
    start("HL7");
    QTcpSocket& analyzer = running->connectFrom();
    // The message reaches the collector's connection just as the stop comes: the stop reads it.
    analyzer.write("H|\\^~&|||TARVOflex^SN1\rP|||Z1||Last^First\r"
                   "O|||Sample #^A1||||202612081000\r"
                   "R||^^^Glucose^|4.5|mmol/L||||OK|||20261208100000\r\x04");
    ASSERT_TRUE(analyzer.waitForBytesWritten(5000));
    QThread::msleep(100);
    running->collector->close();
    EXPECT_EQ(points("Z1").size(), 1u);
    EXPECT_FALSE(running->logged("discarded at closing"));
}

TEST_F(LineCollectorTest, OperatorCommandsForTheLineProtocols) {
    start("HL7");
    OperatorCommands commands(*running->collector);
    const QString folder = running->collector->state().logFolder;
    const OperatorAnswer written = commands.Execute("sample-message");
    EXPECT_FALSE(written.refused);
    EXPECT_TRUE(written.text.startsWith("Sample message written to "))
        << written.text.toStdString();
    QFile sample(folder + "Message.txt");
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    const QByteArray text = sample.readAll();
    EXPECT_TRUE(text.startsWith("H|\\^~&|||TARVOflex^SN0001||||||||1.0|20100423105919\r\r\n"));
    EXPECT_EQ(text.count("\r\r\n"), 5);

    // The sample, ended by EOT, as the example file of the hidden test command.
    QFile example(folder + "TARVOflexExample.txt");
    ASSERT_TRUE(example.open(QIODevice::WriteOnly));
    example.write(text + "\x04\r\n");
    example.close();
    const OperatorAnswer answer = commands.Execute("test-lines");
    EXPECT_FALSE(answer.refused);
    EXPECT_TRUE(answer.text.startsWith("11 lines of ")) << answer.text.toStdString();
    ASSERT_TRUE(waitUntil([&] { return points("0001").size() == 1; }));
    EXPECT_EQ(points("0001").front().unit, QStringLiteral("µM"));
    EXPECT_DOUBLE_EQ(points("0001").front().value, 226.0874);
}
