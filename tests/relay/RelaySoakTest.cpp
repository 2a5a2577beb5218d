// Loss accounting of the full relay: many record-line results pass a running collector to a
// laboratory host that refuses every tenth answer and drops the connection twice.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "AstmHost.h"
#include "RunningCollector.h"
#include "TempRoot.h"
#include "WaitUntil.h"

namespace {

const QString kBin = QStringLiteral(TARVO_BIN_DIR "/");

// About 12 s under the sanitizers.
constexpr int kResults = 10000;
constexpr int kPatients = 10;

// The result record as the host must receive it for result i.
QString expectedResult(int i, const QDateTime& start) {
    return QStringLiteral("R|1|^^^Lactate^|%1|mmol/L||||OK|||%2")
        .arg(QString::number(i / 1000.0, 'f', 3),
             start.addSecs(i).toString(QStringLiteral("yyyyMMddHHmmss")));
}

} // namespace

TEST(RelaySoakTest, EveryResultReachesTheHostOnceDespiteRefusalsAndDroppedConnections) {
    AstmHostScript script;
    script.nakEvery = 10;
    script.closeAfterFrames = kResults / 3;
    script.closeTimes = 2;
    AstmHost host(script);
    ASSERT_TRUE(host.listen(0));
    std::map<QString, int> received; // result record -> times received
    std::map<QString, QString> patientOf;
    int cut = 0;                        // messages the host lost with a dropped connection
    std::map<QString, int> endedByDrop; // complete messages whose EOT a drop took
    int connections = 0;
    QObject::connect(&host, &AstmHost::report, [&](const QByteArray& line) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        const QString event = object.value("event").toString();
        if (event == "incomplete")
            ++cut;
        else if (event == "connected")
            ++connections;
        else if (event == "message") {
            const QStringList records = object.value("records").toVariant().toStringList();
            QString result, patient;
            for (const QString& record : records) {
                if (record.startsWith("R|"))
                    result = record;
                else if (record.startsWith("P|"))
                    patient = record.section(u'|', 3, 3);
            }
            ++received[result];
            patientOf[result] = patient;
            if (object.contains("note"))
                ++endedByDrop[result];
        }
    });

    TempRoot root;
    RunningCollector running(
        root, QStringLiteral("AutoStart=dword:1\nCommunicationProtocol=HL7Telcor\n"
                             "RelayDataToHost=dword:1\nHostOther=127.0.0.1\nPortOther=dword:%1\n"
                             "IncludeChecksum=dword:1\n")
                  .arg(host.port()));
    ASSERT_TRUE(running.started);
    // The host refuses every tenth answer, ENQs among them: a busy host is asked again soon.
    RelayTransport::Timing timing;
    timing.busyPauseMs = 10;
    running.collector->lineRelay().Transport().SetTiming(timing);

    // An analyzer sends every result as a message of its own: result i for patient K(i mod 10),
    // value i/1000, one second after the previous one.
    const QDateTime start(QDate(2026, 12, 8), QTime(0, 0));
    QElapsedTimer elapsed;
    elapsed.start();
    QProcess analyzer;
    analyzer.start(kBin + "tarvo-sim",
                   {"--port", QString::number(running.port), "records", "K", "Lactate", "0",
                    "--results", QString::number(kResults), "--patients",
                    QString::number(kPatients), "--time", start.toString(Qt::ISODate)});
    ASSERT_TRUE(analyzer.waitForStarted(5000));
    ASSERT_TRUE(waitUntil([&] { return analyzer.state() == QProcess::NotRunning; }, 120000));
    ASSERT_EQ(analyzer.exitCode(), 0) << analyzer.readAllStandardError().toStdString();
    const qint64 sendingMs = elapsed.elapsed();
    ASSERT_TRUE(waitUntil(
        [&] {
            return host.Messages() >= kResults &&
                   running.collector->lineRelay().Queue().Count() == 0;
        },
        120000))
        << host.Messages() << " messages received, queue "
        << running.collector->lineRelay().Queue().Count() << " connection "
        << int(running.collector->lineRelay().Transport().Connection()) << " waiting "
        << running.collector->lineRelay().Transport().Acknowledgement().IsWaiting();

    const qint64 deliveredMs = elapsed.elapsed();

    // Count and content: every result once, under its patient; twice only when a drop took the
    // acknowledgement of its last frame, so that the collector had to send it again.
    int duplicates = 0;
    for (int i = 0; i < kResults; ++i) {
        const QString result = expectedResult(i, start);
        ASSERT_EQ(patientOf[result], QStringLiteral("K%1").arg(i % kPatients))
            << result.toStdString();
        if (received[result] != 1) {
            ASSERT_EQ(received[result], 2) << result.toStdString();
            ASSERT_EQ(endedByDrop[result], 1) << result.toStdString();
            ++duplicates;
        }
    }
    EXPECT_EQ(qsizetype(received.size()), qsizetype(kResults));
    EXPECT_EQ(host.Messages(), kResults + duplicates);
    EXPECT_LE(duplicates, 2);

    // Resends: every refusal is answered by sending the refused entry again, and a dropped
    // connection starts the message it cut again at its ENQ; nothing else is sent twice.
    // A message is one ENQ and one frame (the EOT is not answered).
    const int answers = host.Enquiries() + host.Frames();
    const int refusals = host.Refusals();
    const int replayed = answers - refusals - 2 * host.Messages();
    EXPECT_EQ(refusals, answers / 10);
    EXPECT_EQ(connections, 3);
    EXPECT_LE(cut + qsizetype(endedByDrop.size()), 2);
    EXPECT_GE(replayed, 0);
    EXPECT_LE(replayed, 2 * cut) << "only entries of the messages cut by a drop go again";
    EXPECT_FALSE(running.logged("refused the message"));
    EXPECT_FALSE(QFile::exists(running.collector->lineRelay().Transport().DeadLetterPath()));
    std::printf("[ soak ] %d results sent, %d messages received (%d twice), %d entries "
                "answered, %d refused and sent again, %d messages ended by a drop after their "
                "last frame, %d cut before it, %d accepted entries sent again after a drop; "
                "sent in %lld ms, all delivered after %lld ms\n",
                kResults, host.Messages(), duplicates, answers, refusals, int(endedByDrop.size()),
                cut, replayed, static_cast<long long>(sendingMs),
                static_cast<long long>(deliveredMs));
}

TEST(RelaySoakTest, EveryResultReachesAHostThatFallsSilentRefusesClosesAndOutlivesARestart) {
    constexpr int kCount = 600;
    constexpr int kRefused = 300; // the host refuses this result's message, however often sent
    AstmHostScript script;
    script.nakText = "|" + QByteArray::number(kRefused / 1000.0, 'f', 3) + "|";
    script.silentAfterMessages = 100;
    script.silentMs = 3000;
    script.closeAfterFrames = 250;
    AstmHost host(script);
    ASSERT_TRUE(host.listen(0));
    std::vector<QString> arrivals; // result records in the order the host took them
    bool silent = false;
    QObject::connect(&host, &AstmHost::report, [&](const QByteArray& line) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.value("event").toString() == "silent")
            silent = true;
        if (object.value("event").toString() != "message")
            return;
        for (const QString& record : object.value("records").toVariant().toStringList()) {
            if (record.startsWith("R|"))
                arrivals.push_back(record);
        }
    });

    TempRoot root;
    const QString settings =
        QStringLiteral("AutoStart=dword:1\nCommunicationProtocol=HL7Telcor\n"
                       "RelayDataToHost=dword:1\nHostOther=127.0.0.1\nPortOther=dword:%1\n"
                       "IncludeChecksum=dword:1\n")
            .arg(host.port());
    RelayTransport::Timing timing;
    timing.replyTimeoutMs = 300;
    timing.firstPauseMs = 50;
    timing.longestPauseMs = 400;
    auto running = std::make_unique<RunningCollector>(root, settings);
    ASSERT_TRUE(running->started);
    running->collector->lineRelay().Transport().SetTiming(timing);
    const QDateTime start(QDate(2026, 12, 8), QTime(0, 0));
    QProcess analyzer;
    analyzer.start(kBin + "tarvo-sim", {"--port", QString::number(running->port), "records", "K",
                                        "Lactate", "0", "--results", QString::number(kCount),
                                        "--patients", "3", "--time", start.toString(Qt::ISODate)});
    ASSERT_TRUE(analyzer.waitForStarted(5000));
    ASSERT_TRUE(waitUntil([&] { return analyzer.state() == QProcess::NotRunning; }, 60000));
    ASSERT_EQ(analyzer.exitCode(), 0);

    // While the host is silent the collector stops with a backlog and starts again.
    ASSERT_TRUE(waitUntil([&] { return silent; }, 60000));
    const qsizetype backlog = running->collector->lineRelay().Queue().Count();
    EXPECT_GT(backlog, 0);
    running.reset();
    running = std::make_unique<RunningCollector>(root, settings);
    ASSERT_TRUE(running->started);
    running->collector->lineRelay().Transport().SetTiming(timing);
    EXPECT_TRUE(running->logged("relay entries not yet sent were taken back"));
    // The queue empties at the last frame's acknowledgement; the host takes the message whole
    // only at the end of transmission that follows it.
    const QString lastValue = QString::number((kCount - 1) / 1000.0, 'f', 3);
    const auto lastArrived = [&] {
        return !arrivals.empty() && arrivals.back().section(u'|', 3, 3) == lastValue;
    };
    ASSERT_TRUE(waitUntil(
        [&] { return running->collector->lineRelay().Queue().Count() == 0 && lastArrived(); },
        120000))
        << arrivals.size() << " arrived, " << running->collector->lineRelay().Queue().Count()
        << " entries queued";

    // Every result but the refused one, in order; twice only where a drop forced a resend.
    std::map<QString, int> times;
    int previous = -1;
    for (const QString& record : arrivals) {
        const int i = int(std::lround(record.section(u'|', 3, 3).toDouble() * 1000));
        if (++times[record] == 1) {
            EXPECT_GT(i, previous) << "out of order: " << record.toStdString();
            previous = i;
        }
    }
    EXPECT_EQ(qsizetype(times.size()), qsizetype(kCount - 1));
    for (int i = 0; i < kCount; ++i) {
        const QString value = QString::number(i / 1000.0, 'f', 3);
        bool found = false;
        for (const auto& [record, count] : times)
            found = found || record.section(u'|', 3, 3) == value;
        if (!found && i != kRefused)
            ADD_FAILURE() << "result " << i << " never arrived";
    }
    int twice = 0;
    for (const auto& [record, count] : times)
        twice += count > 1 ? 1 : 0;
    EXPECT_LE(twice, 2);
    const QString deadLetters = running->collector->lineRelay().Transport().DeadLetterPath();
    QFile file(deadLetters);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("|" + script.nakText.mid(1) + "mmol/L"));
    EXPECT_TRUE(
        running->logged(QStringLiteral("refused the message for patient K%1").arg(kRefused % 3)));
}
