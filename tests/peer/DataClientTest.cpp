// The data client against a data host the test plays: a running collector that connects over
// loopback, the main timer's share driven tick by tick, and an injectable clock.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>

#include "Clock.h"
#include "Collector.h"
#include "DataClient.h"
#include "RunningCollector.h"
#include "SimulatedMessages.h"
#include "StoredPoints.h"
#include "TempRoot.h"
#include "WaitUntil.h"
#include "Windows1252.h"

namespace {

QString documentText(const QString& id, int measurements) {
    SimulatedMessages::PatientDocument d;
    d.patient = {id, QStringLiteral("Åsa"), QStringLiteral("Öberg")};
    d.uniqueId = QStringLiteral("{ADM-") + id + u'}';
    d.measurements = measurements;
    d.start = QDateTime(QDate(2026, 12, 8), QTime(10, 0));
    return SimulatedMessages::patientData(d);
}

class DataClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        hostPort = freeTcpPort();
        ASSERT_TRUE(listen());
    }

    bool listen() { return host.listen(QHostAddress::LocalHost, quint16(hostPort)); }

    // The main timer never ticks by itself: the test ticks the data client's share.
    void startCollector(const QString& settings = {}) {
        running = std::make_unique<RunningCollector>(
            root,
            QStringLiteral("InterNetworking=dword:1\nIPString=sz:127.0.0.1\n"
                           "ClientSocketPort=dword:%1\nTimerInterval=dword:3600000\n")
                    .arg(hostPort) +
                settings,
            RunningCollector::AutomationFactory(), &clock);
        ASSERT_TRUE(running->started);
        collector = running->collector.get();
        QObject::connect(&collector->messageDispatcher(), &MessageDispatcher::messageCut,
                         [this](const QString& identity, TMessageType, const QString& message) {
                             cuts << message;
                             identities << identity;
                         });
    }

    // Waits for the collector's connection and takes it.
    QTcpSocket* accept() {
        if (!waitUntil([&] { return host.hasPendingConnections(); }))
            return nullptr;
        QTcpSocket* socket = host.nextPendingConnection();
        waitUntil([&] { return collector->dataClient().Connected(); });
        return socket;
    }

    bool sendFromHost(QTcpSocket& socket, const QByteArray& bytes) {
        const qint64 target = collector->dataClient().BytesReceived() + bytes.size();
        socket.write(bytes);
        socket.flush();
        return waitUntil([&] { return collector->dataClient().BytesReceived() >= target; });
    }

    void tick(int times = 1) {
        for (int i = 0; i < times; ++i)
            collector->dataClient().TimerTick();
    }

    TempRoot root;
    QTcpServer host;
    int hostPort = 0;
    ManualClock clock{QDateTime(QDate(2026, 12, 8), QTime(11, 0))};
    std::unique_ptr<RunningCollector> running;
    Collector* collector = nullptr;
    QStringList cuts;
    QStringList identities;
};

} // namespace

TEST(DataClientAddress, OnlyStrictAddressesAreAddressesAndEverythingElseAHostName) {
    const std::pair<const char*, bool> cases[] = {
        {"10.0.0.7", true}, {"127.0.0.1", true},    {"010.0.0.1", true},   {"fd00::7", true},
        {"1.2.3.", false},  {"ward3.local", false}, {"10.0.7", false},     {".10.0.0.7", false},
        {"10..0.7", false}, {"10.0.0.x", false},    {"0x0a.0.0.7", false}, {"", false},
    };
    for (const auto& [text, address] : cases)
        EXPECT_EQ(DataClient::IsIPAddress(QString::fromLatin1(text)), address) << text;
}

TEST_F(DataClientTest, LeadingZerosAreDecimalAndNumbersThatAreNoAddressAreNotLookedUp) {
    // 127.0.0.010 is 127.0.0.10; read as octal it would be 127.0.0.8, where nothing listens.
    QTcpServer tenth;
    ASSERT_TRUE(tenth.listen(QHostAddress(QStringLiteral("127.0.0.10")), 0));
    TempRoot decimalRoot;
    RunningCollector decimal(decimalRoot,
                             QStringLiteral("InterNetworking=dword:1\nIPString=127.0.0.010\n"
                                            "ClientSocketPort=dword:%1\n")
                                 .arg(tenth.serverPort()));
    ASSERT_TRUE(decimal.started);
    EXPECT_EQ(decimal->dataClient().Address(), "127.0.0.10");
    EXPECT_TRUE(waitUntil([&] { return decimal->dataClient().Connected(); }));
    EXPECT_TRUE(tenth.hasPendingConnections());

    // "127.1" is no address, and no host name either: a resolver would read it as 127.0.0.1.
    TempRoot shortRoot;
    RunningCollector shorthand(shortRoot, QStringLiteral("InterNetworking=dword:1\nIPString=127.1\n"
                                                         "ClientSocketPort=dword:%1\n")
                                              .arg(hostPort));
    ASSERT_TRUE(shorthand.started);
    EXPECT_TRUE(shorthand->dataClient().Address().isEmpty());
    for (int i = 0; i < 30; ++i)
        shorthand->dataClient().TimerTick();
    EXPECT_EQ(shorthand.loggedCount(QStringLiteral(
                  "IPString: \"127.1\" is neither an address nor a host name; no data host is "
                  "connected")),
              1);
    QCoreApplication::processEvents();
    EXPECT_FALSE(host.hasPendingConnections());
}

TEST_F(DataClientTest, StartUsesAnAddressOrAHostName) {
    startCollector();
    EXPECT_EQ(collector->dataClient().Address(), "127.0.0.1");
    EXPECT_TRUE(collector->dataClient().HostName().isEmpty());
    running->collector->dataClient().Close();
    TempRoot other;
    RunningCollector named(other, QStringLiteral("InterNetworking=dword:1\nIPString=sz:localhost\n"
                                                 "ClientSocketPort=dword:%1\n")
                                      .arg(hostPort));
    ASSERT_TRUE(named.started);
    EXPECT_EQ(named->dataClient().HostName(), "localhost");
    EXPECT_TRUE(named->dataClient().Address().isEmpty());
}

TEST_F(DataClientTest, AnsiAndUtf8MessagesFromTheHostAreStoredLikeAnalyzerMessages) {
    startCollector();
    collector->collectionControl().start();
    QTcpSocket* link = accept();
    ASSERT_NE(link, nullptr);
    ASSERT_TRUE(collector->dataClient().Connected());
    EXPECT_EQ(collector->state().networkRole, NetworkRole::DataClient);
    EXPECT_TRUE(collector->status().caption().contains("Connected to  Orvanta: "))
        << collector->status().caption().toStdString();
    EXPECT_TRUE(collector->status().caption().contains("(127.0.0.1)"));
    tick();
    EXPECT_FALSE(collector->status().noNetworkLabelVisible());

    // As a collector forwards: ANSI, the declaration already changed to utf-8; in odd pieces.
    const QString ansiText = documentText("HOST1", 30).replace("utf-16", "utf-8");
    const QByteArray ansi = Windows1252::encode(ansiText);
    ASSERT_TRUE(ansi.contains("\xC5sa"));
    for (qsizetype at = 0; at < ansi.size(); at += 333)
        ASSERT_TRUE(sendFromHost(*link, ansi.mid(at, 333)));
    // A host that sends UTF-8; pieces that end inside a two-byte character.
    const QString utf8Text = documentText("HOST2", 60);
    const QByteArray utf8 = utf8Text.toUtf8();
    const qsizetype split = utf8.indexOf("\xC3\x85") + 1;
    ASSERT_TRUE(sendFromHost(*link, utf8.left(split)));
    ASSERT_TRUE(sendFromHost(*link, utf8.mid(split)));

    ASSERT_EQ(cuts.size(), 2);
    EXPECT_TRUE(cuts[0].contains(QStringLiteral("<FirstName>Åsa</FirstName>")));
    EXPECT_TRUE(cuts[1].contains(QStringLiteral("<FirstName>Åsa</FirstName>")));
    EXPECT_EQ(identities, (QStringList{"127.0.0.1", "127.0.0.1"}));
    ASSERT_TRUE(waitUntil([&] { return collector->waitingRebuilds() == 0; }));
    for (const auto& [id, perAnalyte] :
         {std::pair{QStringLiteral("HOST1"), 10}, std::pair{QStringLiteral("HOST2"), 20}}) {
        const auto points = storedPoints(running->patientFolder(id) + QStringLiteral("Tarvo.pil"));
        EXPECT_EQ(countOf(points, QStringLiteral("Glucose")), perAnalyte) << id.toStdString();
        EXPECT_EQ(countOf(points, QStringLiteral("Lactate")), perAnalyte) << id.toStdString();
    }
    EXPECT_EQ(collector->dataHostServer().BytesForwarded(), 0)
        << "what the host sends is not passed on";
}

TEST_F(DataClientTest, WithTheHl7ProtocolTextFromTheHostIsIgnored) {
    startCollector(QStringLiteral("CommunicationProtocol=HL7\n"));
    int wakeUps = 0;
    QObject::connect(collector, &Collector::linesWaiting, [&] { ++wakeUps; });
    QTcpSocket* link = accept();
    ASSERT_NE(link, nullptr);
    ASSERT_TRUE(sendFromHost(*link, Windows1252::encode(documentText("HL7", 12))));
    ASSERT_TRUE(sendFromHost(*link, "H|1\rP|1\r\x04"));
    EXPECT_TRUE(cuts.isEmpty());
    EXPECT_EQ(wakeUps, 0);
    EXPECT_TRUE(collector->lineQueue().empty());
}

TEST_F(DataClientTest, TheCountdownRetriesEveryElevenTicksUntilTheHostReturns) {
    host.close();
    startCollector();
    ASSERT_FALSE(collector->dataClient().Connected());
    EXPECT_EQ(collector->dataClient().Countdown(), DataClient::kReconnectCountdown);
    ASSERT_TRUE(listen());
    tick(10);
    EXPECT_EQ(collector->dataClient().Countdown(), 0);
    EXPECT_TRUE(collector->status().noNetworkLabelVisible());
    EXPECT_FALSE(host.hasPendingConnections());
    tick(); // the eleventh
    EXPECT_EQ(collector->dataClient().Countdown(), DataClient::kReconnectCountdown);
    QTcpSocket* link = accept();
    ASSERT_NE(link, nullptr);
    ASSERT_TRUE(collector->dataClient().Connected());
    tick();
    EXPECT_FALSE(collector->status().noNetworkLabelVisible());

    // The host goes away and comes back.
    host.close();
    link->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return !collector->dataClient().Connected(); }));
    EXPECT_EQ(collector->status().connectionLabel(), "Disconnected");
    EXPECT_EQ(collector->state().networkRole, NetworkRole::Standalone);
    EXPECT_FALSE(collector->status().caption().contains("Connected to"));
    tick(11); // an attempt that finds no host
    EXPECT_TRUE(collector->status().noNetworkLabelVisible());
    EXPECT_FALSE(collector->dataClient().Connected());
    ASSERT_TRUE(listen());
    tick(10);
    EXPECT_FALSE(host.hasPendingConnections());
    tick();
    ASSERT_NE(accept(), nullptr);
    EXPECT_TRUE(collector->dataClient().Connected());
}

TEST_F(DataClientTest, AHostSilentForMoreThan126SecondsIsClosedAndReopened) {
    startCollector();
    QTcpSocket* link = accept();
    ASSERT_NE(link, nullptr);
    clock.advanceSeconds(120);
    tick();
    ASSERT_TRUE(collector->dataClient().Connected());
    ASSERT_TRUE(sendFromHost(*link, " ")); // any bytes are a lifetick
    EXPECT_EQ(collector->dataClient().LastLifetick(), clock.now());
    clock.advanceSeconds(120);
    tick();
    ASSERT_TRUE(collector->dataClient().Connected()) << "the lifetick was counted";
    clock.advanceSeconds(6);
    tick();
    ASSERT_TRUE(collector->dataClient().Connected()) << "126 seconds is not more than 126";
    clock.advanceSeconds(1);
    tick();
    EXPECT_FALSE(collector->dataClient().Connected());
    EXPECT_EQ(collector->status().connectionLabel(), "Expected lifetick is missing");
    EXPECT_TRUE(collector->status().connectionLabelWarning());
    EXPECT_TRUE(collector->status().noNetworkLabelVisible());
    EXPECT_TRUE(running->logged("Expected lifetick is missing from data host 127.0.0.1"));
    ASSERT_TRUE(waitUntil([&] { return link->state() == QAbstractSocket::UnconnectedState; }));
    tick(11);
    ASSERT_NE(accept(), nullptr);
    EXPECT_TRUE(collector->dataClient().Connected());
}

TEST_F(DataClientTest, AnAnalyzerConnectingSwitchesTheDataClientOffForGood) {
    startCollector();
    ASSERT_NE(accept(), nullptr);
    running->connectFrom(QStringLiteral("127.0.0.2"));
    EXPECT_FALSE(collector->dataClient().Connected());
    EXPECT_FALSE(collector->settings().read(Setting::InterNetworking));
    EXPECT_EQ(collector->state().networkRole, NetworkRole::AnalyzerLinked);
    EXPECT_FALSE(collector->status().noNetworkLabelVisible());
    tick(30);
    EXPECT_FALSE(host.hasPendingConnections()) << "no attempt once switched off";
    EXPECT_FALSE(collector->dataClient().Connected());
}

TEST_F(DataClientTest, ClosingFromTheSettingsDialogIsUndoneByTheCountdown) {
    startCollector();
    QTcpSocket* link = accept();
    ASSERT_NE(link, nullptr);
    collector->closeDataClient();
    EXPECT_FALSE(collector->dataClient().Connected());
    ASSERT_TRUE(waitUntil([&] { return link->state() == QAbstractSocket::UnconnectedState; }));
    tick(11);
    ASSERT_NE(accept(), nullptr);
}

TEST_F(DataClientTest, ACollectorServingAsDataHostKeepsItsClientThroughFiveQuietMinutes) {
    // Another collector is the data host, on the port the client is set to.
    host.close();
    TempRoot hostRoot;
    RunningCollector dataHost(hostRoot,
                              QStringLiteral("ClientSocketPort=dword:%1\n").arg(hostPort + 1));
    ASSERT_TRUE(dataHost.started);
    ASSERT_TRUE(dataHost->dataHostServer().Active());
    // Its lifeticks come every 30 s; here every 50 ms, while the client's clock moves 30 s
    // between them.
    dataHost->dataHostServer().SetLifetickInterval(50);
    startCollector();
    ASSERT_TRUE(waitUntil([&] { return collector->dataClient().Connected(); }));
    for (int halfMinutes = 1; halfMinutes <= 10; ++halfMinutes) {
        clock.advanceSeconds(30);
        ASSERT_TRUE(waitUntil([&] {
            return collector->dataClient().LastLifetick() == clock.now();
        })) << "no lifetick after "
            << halfMinutes << " half minutes";
        tick();
        ASSERT_TRUE(collector->dataClient().Connected()) << halfMinutes << " half minutes";
    }
    EXPECT_FALSE(running->logged("Expected lifetick is missing"));
    EXPECT_TRUE(cuts.isEmpty()) << "line ends are no messages";
    EXPECT_FALSE(running->logged("not handled"));
}
