// The relay transport against a receiving E1381 host over loopback.
#include <gtest/gtest.h>

#include <vector>

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
        state.dataRoot = root.driveC("TCA/DATA/");
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
        return waitUntil([&] { return transport.Connection() == RelayConnectionState::Connected; });
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

TEST_F(RelayTransportTest, ABusyHostIsAskedAgainAndNothingIsDropped) {
    AstmHostScript script;
    script.nakEnq = true;
    startHost(script);
    queueMessage("P1");
    queueMessage("P2");
    ASSERT_TRUE(connectTransport());
    ASSERT_TRUE(waitUntil([&] {
        clock.advanceSeconds(11);
        return host->Enquiries() >= 30;
    }));
    EXPECT_EQ(queue.Count(), 6) << "a refused ENQ drops nothing";
    EXPECT_FALSE(QFile::exists(transport.DeadLetterPath()));
    host->setScript({});
    ASSERT_TRUE(waitUntil([&] {
        clock.advanceSeconds(1);
        return messages.size() == 2;
    }));
    EXPECT_TRUE(messages[0].contains("|P|1||P1|") && messages[1].contains("|P|1||P2|"));
    EXPECT_EQ(queue.Count(), 0);
}

TEST_F(RelayTransportTest, AMessageRefusedSixTimesIsSetAsideAndTheRestMovesOn) {
    AstmHostScript script;
    script.nakText = "P|1||P2";
    startHost(script);
    queueMessage("P1");
    queueMessage("P2");
    queueMessage("P3");
    ASSERT_TRUE(connectTransport());
    ASSERT_TRUE(waitUntil([&] { return messages.size() == 2 && queue.Count() == 0; }))
        << reports.join(',').toStdString();
    EXPECT_TRUE(messages[0].contains("|P|1||P1|") && messages[1].contains("|P|1||P3|"));
    EXPECT_EQ(host->Refusals(), RelayTransport::kMaxRefusals);
    EXPECT_EQ(transport.DeadLetters(), 1);
    QFile deadLetters(transport.DeadLetterPath());
    ASSERT_TRUE(deadLetters.open(QIODevice::ReadOnly));
    const QByteArray kept = deadLetters.readAll();
    EXPECT_TRUE(kept.startsWith("# 2026-12-08T12:00:00 refused 6 times by 127.0.0.1:"));
    EXPECT_TRUE(kept.contains("\r\nP|1||P2\r\nR|1|^^^Glucose^|0")) << kept.toStdString();
    EXPECT_TRUE(logged("The relay host refused the message for patient P2 (3 records) 6 times; "
                       "it was moved to " +
                       transport.DeadLetterPath()))
        << log.mainLines().join('\n').toStdString();
    QFile copy(state.logFolder + "RelayLines.txt");
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), kept) << "an appended copy for inspection";
}

TEST_F(RelayTransportTest, ASilentHostGetsTheTransferAgainUntilItAnswers) {
    AstmHostScript script;
    script.silent = true;
    startHost(script);
    queueMessage("P1");
    ASSERT_TRUE(connectTransport());
    ASSERT_TRUE(waitUntil([&] { return host->Enquiries() == 1; }));
    clock.advanceSeconds(TWaitingForAck::kAckTimeoutSeconds);
    transport.SendStep();
    EXPECT_EQ(host->Enquiries(), 1) << "nothing repeated within the time-out";
    // Every transfer without a reply is ended and started again after a growing pause, for as
    // long as the host is silent.
    int pauses = 0;
    for (int round = 0; round < 12; ++round) {
        clock.advanceSeconds(TWaitingForAck::kAckTimeoutSeconds + 1);
        transport.SendStep(); // ends the transfer
        const int before = host->Enquiries();
        transport.SendStep();
        pauses += host->Enquiries() == before ? 1 : 0;
        clock.advanceSeconds(60);
        transport.SendStep(); // the ENQ again
        ASSERT_TRUE(waitUntil([&] { return host->Enquiries() == before + 1; })) << round;
    }
    EXPECT_EQ(pauses, 12) << "the ENQ waits for its pause";
    EXPECT_EQ(queue.Count(), 3) << "nothing dropped";
    EXPECT_EQ(log.mainLines().filter("did not answer within 15 s").size(), 1);
    host->setScript({});
    clock.advanceSeconds(TWaitingForAck::kAckTimeoutSeconds + 1);
    transport.SendStep();
    clock.advanceSeconds(60);
    ASSERT_TRUE(waitUntil([&] {
        transport.SendStep();
        return messages.size() == 1 && queue.Count() == 0;
    })) << reports.join(',').toStdString();
    EXPECT_TRUE(logged("The relay host answers again"));
    EXPECT_FALSE(QFile::exists(transport.DeadLetterPath()));
}

TEST_F(RelayTransportTest, AMessageCutByTheHostIsSentWholeOnTheNextConnection) {
    AstmHostScript script;
    script.closeAfterFrames = 1;
    startHost(script);
    queueMessage("P1", 6); // two frames
    queueMessage("P2");
    transport.ApplyRelayConnection();
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
    EXPECT_EQ(transport.Connection(), RelayConnectionState::Disconnected);
    EXPECT_EQ(queue.Count(), 3) << "queued while relaying is off";

    state.relayEnabled = true;
    ASSERT_TRUE(connectTransport());
    ASSERT_TRUE(waitUntil([&] { return messages.size() == 1; }));

    // A time-out of 0 gives up a pending attempt on the first tick.
    const int unused = freeTcpPort();
    state.relayPort = unused;
    state.relayTimeoutSeconds = 0;
    transport.ApplyRelayConnection();
    EXPECT_EQ(transport.Connection(), RelayConnectionState::Connecting);
    transport.MainTimerTick();
    EXPECT_EQ(transport.Connection(), RelayConnectionState::Disconnected);
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

TEST_F(RelayTransportTest, AnAddressWithLeadingZerosIsReadAsDecimal) {
    startHost();
    state.relayHost = "127.0.0.010"; // 127.0.0.10, never the octal 127.0.0.8
    ASSERT_TRUE(connectTransport());
    EXPECT_EQ(transport.PeerAddress(), "127.0.0.10");
    state.relayHost = "127.1"; // shorthand is no address, and no host name either
    state.relayPort = host->port() + 1;
    transport.ApplyRelayConnection();
    EXPECT_EQ(log.mainLines()
                  .filter("HostOther \"127.1\" is neither an address nor a host "
                          "name")
                  .size(),
              1);
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
    QElapsedTimer answered;
    answered.start();
    ASSERT_TRUE(connectTransport()); // the ENQ goes out on connecting
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

TEST_F(RelayTransportTest, AnAnswerLaterThanTheTimeOutEndsTheTransferAndNothingIsLost) {
    AstmHostScript script;
    script.delayMs = 500;
    startHost(script);
    queueMessage("P1");
    queueMessage("P2");
    ASSERT_TRUE(connectTransport());
    ASSERT_TRUE(waitUntil([&] { return host->Enquiries() == 1; }));
    clock.advanceSeconds(TWaitingForAck::kAckTimeoutSeconds + 1);
    transport.SendStep(); // no answer within the time-out: the transfer ends (EOT)
    EXPECT_FALSE(transport.Acknowledgement().IsWaiting());
    EXPECT_EQ(queue.Count(), 6);
    clock.advanceSeconds(2); // the pause
    // The late answer to the first ENQ finds nothing outstanding, or the second ENQ, which the
    // host answers too: against a host that accepts everything nothing is lost or sent twice.
    ASSERT_TRUE(waitUntil([&] {
        transport.SendStep();
        return messages.size() == 2 && queue.Count() == 0;
    })) << reports.join(',').toStdString();
    EXPECT_TRUE(messages[0].contains("|P|1||P1|"));
    EXPECT_TRUE(messages[1].contains("|P|1||P2|"));
    EXPECT_FALSE(reports.contains("refused")) << reports.join(',').toStdString();
    EXPECT_FALSE(QFile::exists(transport.DeadLetterPath()));
}

TEST_F(RelayTransportTest, TheSendTimerRunsOnlyWhileSomethingIsQueued) {
    startHost();
    EXPECT_FALSE(transport.SendTimerActive());
    ASSERT_TRUE(connectTransport());
    EXPECT_FALSE(transport.SendTimerActive()) << "nothing queued";
    queueMessage("P1");
    transport.StartSendTimer();
    EXPECT_TRUE(transport.SendTimerActive());
    ASSERT_TRUE(waitUntil([&] { return messages.size() == 1; }));
    EXPECT_FALSE(transport.SendTimerActive());
    state.relayEnabled = false;
    queueMessage("P2");
    transport.StartSendTimer();
    EXPECT_FALSE(transport.SendTimerActive()) << "relaying is off";
}

TEST_F(RelayTransportTest, ReconnectClosesTheSocketAndAnnouncesEveryChange) {
    startHost();
    std::vector<RelayConnectionState> seen;
    const QObject listener; // ends the connection before seen goes
    QObject::connect(&transport, &RelayTransport::connectionChanged, &listener,
                     [&] { seen.push_back(transport.Connection()); });
    ASSERT_TRUE(connectTransport());
    transport.Reconnect();
    EXPECT_FALSE(transport.IsOpen());
    EXPECT_EQ(transport.Connection(), RelayConnectionState::Connecting);
    const std::vector<RelayConnectionState> expected{
        RelayConnectionState::Connecting, RelayConnectionState::Connected,
        RelayConnectionState::Disconnected, RelayConnectionState::Connecting};
    EXPECT_EQ(seen, expected);

    // The next tick past the time-out gives the attempt up; the one after opens it again.
    state.relayTimeoutSeconds = 0;
    transport.MainTimerTick();
    EXPECT_EQ(transport.Connection(), RelayConnectionState::Disconnected);
    state.relayTimeoutSeconds = 10;
    ASSERT_TRUE(waitUntil([&] {
        transport.MainTimerTick();
        return transport.Connection() == RelayConnectionState::Connected;
    }));
}
