// The relay transport against a receiving E1381 host over loopback.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "AstmHost.h"
#include "Clock.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "RelayTransport.h"
#include "TRelayList.h"
#include "TempRoot.h"
#include "WaitUntil.h"

namespace {

const QString kBin = QStringLiteral(TARVO_BIN_DIR "/");

class RelayTransportTest : public ::testing::Test {
protected:
    void startHost(AstmHostScript script = {}) {
        host = std::make_unique<AstmHost>(script);
        ASSERT_TRUE(host->listen(0));
        QObject::connect(host.get(), &AstmHost::report, [this](const QByteArray& line) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            reports << object.value("event").toString();
            if (object.value("event").toString() == "message")
                messages << object.value("records").toVariant().toStringList().join('|');
        });
        state.protocol = AnalyzerProtocol::AstmE1381;
        state.relayEnabled = true;
        state.relayHost = "127.0.0.1";
        state.relayPort = host->port();
        state.logFolder = root.driveC("TEMP/");
        QDir().mkpath(state.logFolder);
    }

    void queueMessage(const QByteArray& id, int results = 1) {
        queue.Add("\x05");
        queue.Add("H|\\^&|||TARVOflex^SN1\r");
        queue.Add("P|||" + id + "\r");
        for (int i = 0; i < results; ++i)
            queue.Add("R||^^^Glucose^|" + QByteArray::number(i) + QByteArray(60, ' ') + "\r");
        queue.Add("\x04");
    }

    bool connectTransport() {
        transport.ApplyRelayConnection();
        return waitUntil([&] { return state.relayConnection == RelayConnectionState::Connected; });
    }

    bool logged(const QString& text) const {
        for (const QString& line : log.mainLines()) {
            if (line.contains(text))
                return true;
        }
        return false;
    }

    TempRoot root;
    ManualClock clock{QDateTime(QDate(2026, 12, 8), QTime(12, 0))};
    EventLog log{clock};
    CollectorState state;
    TRelayList queue;
    RelayTransport transport{RelayTransportContext{state, log, clock, queue, {}}};
    QStringList reports;
    QStringList messages;
    std::unique_ptr<AstmHost> host;
};

} // namespace

TEST_F(RelayTransportTest, MessagesReachTheHostUnderAcknowledgement) {
    startHost();
    queue.IncludeChecksum = true;
    queueMessage("P1");
    queueMessage("P2", 6); // two frames
    ASSERT_TRUE(connectTransport());
    ASSERT_TRUE(waitUntil([&] { return messages.size() == 2; })) << reports.join(',').toStdString();
    EXPECT_TRUE(messages[0].startsWith("H|\\^&|||TARVOflex^SN1|P|1||P1|R|1|^^^Glucose^|0"))
        << messages[0].toStdString();
    EXPECT_TRUE(messages[1].contains("|R|6|^^^Glucose^|5")) << messages[1].toStdString();
    EXPECT_FALSE(reports.contains("refused"));
    ASSERT_TRUE(waitUntil([&] { return queue.Count() == 0; }));
    EXPECT_FALSE(transport.SendTimerActive()) << "an empty queue stops the send timer";
}

TEST_F(RelayTransportTest, ARefusingHostGetsTheEnqUntilTheLimitThenTheQueueIsDumped) {
    AstmHostScript script;
    script.nakEnq = true;
    startHost(script);
    queueMessage("P1");
    queueMessage("P2");
    ASSERT_TRUE(connectTransport());
    ASSERT_TRUE(waitUntil([&] { return queue.Count() == 0; }, 20000));
    ASSERT_TRUE(
        waitUntil([&] { return host->Enquiries() == 1 + TWaitingForAck::kMaxRetries + 1; }));
    QFile dump(state.logFolder + "RelayLines.txt");
    ASSERT_TRUE(dump.open(QIODevice::ReadOnly));
    const QByteArray dumped = dump.readAll();
    EXPECT_TRUE(dumped.contains("P|1||P1\r") && dumped.contains("P|1||P2\r"));
    EXPECT_TRUE(logged("2 messages (6 entries) were moved to"))
        << log.mainLines().join('\n').toStdString();
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(RelayTransportTest, AnAcknowledgementStartsTheRetryCountAgain) {
    AstmHostScript script;
    script.nakEvery = 2; // a healthy host that refuses now and then
    startHost(script);
    for (int i = 0; i < 12; ++i)
        queueMessage("P" + QByteArray::number(i));
    ASSERT_TRUE(connectTransport());
    ASSERT_TRUE(waitUntil([&] { return messages.size() == 12 || queue.Count() == 0; }, 30000));
    ASSERT_TRUE(waitUntil([&] { return messages.size() == 12; }, 30000))
        << "more than 20 refusals in all must not drop the queue";
    EXPECT_FALSE(QFile::exists(state.logFolder + "RelayLines.txt"));
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(messages[i].contains(QStringLiteral("|P|1||P%1|").arg(i))) << i;
}

TEST_F(RelayTransportTest, ASilentHostGetsTheEntryAgainAfterTheTimeOut) {
    AstmHostScript script;
    script.silent = true;
    startHost(script);
    queueMessage("P1");
    ASSERT_TRUE(connectTransport());
    transport.StopSendTimer();
    transport.SendStep();
    ASSERT_TRUE(waitUntil([&] { return host->Enquiries() == 1; }));
    for (int i = 0; i < 5; ++i)
        transport.SendStep();
    clock.advanceSeconds(TWaitingForAck::kAckTimeoutSeconds);
    transport.SendStep();
    EXPECT_EQ(queue.Count(), 3) << "nothing repeated within the time-out";
    clock.advanceSeconds(1);
    for (int i = 0; i < TWaitingForAck::kMaxRetries; ++i)
        transport.SendStep();
    ASSERT_TRUE(waitUntil([&] { return host->Enquiries() == 1 + TWaitingForAck::kMaxRetries; }));
    EXPECT_EQ(queue.Count(), 3);
    transport.SendStep();
    EXPECT_EQ(queue.Count(), 0) << "the 21st repetition dumps the queue";
    EXPECT_TRUE(QFile::exists(state.logFolder + "RelayLines.txt"));
}

TEST_F(RelayTransportTest, AMessageCutByTheHostIsSentWholeOnTheNextConnection) {
    AstmHostScript script;
    script.closeAfterFrames = 1;
    startHost(script);
    queueMessage("P1", 6); // two frames
    queueMessage("P2");
    ASSERT_TRUE(connectTransport());
    ASSERT_TRUE(waitUntil([&] { return reports.contains("disconnected"); }));
    EXPECT_TRUE(reports.contains("incomplete"));
    ASSERT_TRUE(waitUntil([&] {
        transport.MainTimerTick();
        return messages.size() == 2;
    }));
    EXPECT_TRUE(messages[0].contains("|P|1||P1|"));
    EXPECT_TRUE(messages[0].contains("|R|6|"));
    EXPECT_TRUE(messages[1].contains("|P|1||P2|"));
    EXPECT_FALSE(reports.contains("refused")) << reports.join(',').toStdString();
}

TEST_F(RelayTransportTest, ConnectionSettings) {
    startHost();
    queueMessage("P1");
    state.relayEnabled = false;
    transport.ApplyRelayConnection();
    for (int i = 0; i < 3; ++i)
        transport.MainTimerTick();
    transport.SendStep();
    EXPECT_EQ(state.relayConnection, RelayConnectionState::Disconnected);
    EXPECT_EQ(queue.Count(), 3) << "queued while relaying is off";

    state.relayEnabled = true;
    ASSERT_TRUE(connectTransport());
    ASSERT_TRUE(waitUntil([&] { return messages.size() == 1; }));

    // A time-out of 0 gives up a pending attempt on the first tick.
    const int unused = freeTcpPort();
    state.relayPort = unused;
    state.relayTimeoutSeconds = 0;
    transport.ApplyRelayConnection();
    EXPECT_EQ(state.relayConnection, RelayConnectionState::Connecting);
    transport.MainTimerTick();
    EXPECT_EQ(state.relayConnection, RelayConnectionState::Disconnected);
}

TEST_F(RelayTransportTest, AHostNameWithoutDotsIsLookedUp) {
    startHost();
    state.relayHost = "localhost";
    queueMessage("P1");
    ASSERT_TRUE(connectTransport());
    EXPECT_EQ(transport.PeerName(), "localhost") << "connected by name, not by address";
    ASSERT_TRUE(waitUntil([&] { return messages.size() == 1; }));
    EXPECT_TRUE(messages[0].contains("|P|1||P1|")) << messages[0].toStdString();
}

TEST_F(RelayTransportTest, TheCommissioningHostAnswersAsLateAsAsked) {
    startHost(); // the relay settings; the host that answers is the program
    const int port = freeTcpPort();
    QProcess program;
    program.start(kBin + "astm-host", {"--port", QString::number(port), "--delay-ms", "300"});
    ASSERT_TRUE(program.waitForStarted(5000));
    QByteArray said;
    ASSERT_TRUE(waitUntil([&] {
        said += program.readAllStandardError();
        return said.contains("listening");
    })) << said.toStdString();
    state.relayPort = port;
    queueMessage("P1");
    transport.StopSendTimer();
    ASSERT_TRUE(connectTransport());

    QElapsedTimer answered;
    answered.start();
    transport.SendStep(); // ENQ
    ASSERT_TRUE(waitUntil([&] { return !transport.Acknowledgement().IsWaiting(); }));
    EXPECT_GE(answered.elapsed(), 300) << "the acknowledgement came early";
    QByteArray printed;
    ASSERT_TRUE(waitUntil([&] {
        transport.SendStep();
        printed += program.readAllStandardOutput();
        return printed.contains("\"event\":\"message\"");
    })) << printed.toStdString();
    EXPECT_TRUE(printed.contains("P|1||P1")) << printed.toStdString();
    EXPECT_EQ(queue.Count(), 0);
    program.kill();
    program.waitForFinished(5000);
}

TEST_F(RelayTransportTest, AnAnswerLaterThanTheTimeOutFollowsAResendAndNothingIsLost) {
    AstmHostScript script;
    script.delayMs = 500;
    startHost(script);
    queueMessage("P1");
    queueMessage("P2");
    transport.StopSendTimer();
    ASSERT_TRUE(connectTransport());
    transport.SendStep(); // ENQ
    ASSERT_TRUE(waitUntil([&] { return host->Enquiries() == 1; }));
    clock.advanceSeconds(TWaitingForAck::kAckTimeoutSeconds + 1);
    transport.SendStep(); // no answer within the time-out: the ENQ again
    ASSERT_TRUE(waitUntil([&] { return host->Enquiries() == 2; }));
    EXPECT_EQ(queue.Count(), 6);
    // No step runs until the first answer is in (each step would repeat the ENQ now).
    ASSERT_TRUE(waitUntil([&] { return !transport.Acknowledgement().IsWaiting(); }));

    // The late answers arrive one after the other: each is taken by whatever entry is
    // outstanding when it comes, so that against a host that accepts everything nothing is
    // lost, sent twice or dumped.
    ASSERT_TRUE(waitUntil([&] {
        transport.SendStep();
        return messages.size() == 2 && queue.Count() == 0;
    })) << reports.join(',').toStdString();
    EXPECT_TRUE(messages[0].contains("|P|1||P1|"));
    EXPECT_TRUE(messages[1].contains("|P|1||P2|"));
    EXPECT_EQ(host->Enquiries(), 3);
    EXPECT_FALSE(reports.contains("refused")) << reports.join(',').toStdString();
    EXPECT_FALSE(QFile::exists(state.logFolder + "RelayLines.txt"));
}
