// The data-host server as Orvanta stations meet it: a running collector, analyzers and stations
// on loopback connections.
#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>

#include "Clock.h"
#include "Collector.h"
#include "LiveMessages.h"
#include "RunningCollector.h"
#include "SimulatedMessages.h"
#include "StoredPoints.h"
#include "TempRoot.h"
#include "WaitUntil.h"
#include "Windows1252.h"

namespace {

QByteArray documentFor(const QString& id, int measurements) {
    SimulatedMessages::PatientDocument d;
    d.patient = {id, QStringLiteral("Åsa"), QStringLiteral("Öberg")};
    d.uniqueId = QStringLiteral("{ADM-") + id + u'}';
    d.measurements = measurements;
    d.start = QDateTime(QDate(2026, 12, 8), QTime(10, 0));
    return SimulatedMessages::utf16(SimulatedMessages::patientData(d));
}

class DataHostServerTest : public ::testing::Test {
protected:
    void startCollector(const QString& settings = {}, const Clock* clock = nullptr) {
        running = std::make_unique<RunningCollector>(root, settings,
                                                     RunningCollector::AutomationFactory(), clock);
        ASSERT_TRUE(running->started);
        collector = running->collector.get();
    }

    // A station connected from the address; waits until the server has taken or refused it.
    QTcpSocket& station(const QString& address) {
        const int before = collector->dataHostServer().StationCount();
        auto socket = std::make_unique<QTcpSocket>();
        socket->bind(QHostAddress(address));
        socket->connectToHost(QHostAddress::LocalHost, quint16(collector->dataHostServer().Port()));
        EXPECT_TRUE(socket->waitForConnected(5000));
        QTcpSocket& added = *socket;
        stations.push_back(std::move(socket));
        waitUntil([&] {
            return collector->dataHostServer().StationCount() > before ||
                   added.state() != QAbstractSocket::ConnectedState;
        });
        return added;
    }

    TempRoot root;
    ManualClock clock{QDateTime(QDate(2026, 12, 8), QTime(9, 0))};
    std::unique_ptr<RunningCollector> running;
    Collector* collector = nullptr;
    std::vector<std::unique_ptr<QTcpSocket>> stations;
};

} // namespace

TEST_F(DataHostServerTest, EachMessageReachesEveryStationAddressOnceInAnsi) {
    startCollector();
    ASSERT_TRUE(collector->dataHostServer().Active());
    EXPECT_EQ(collector->dataHostServer().Port(), collector->state().dataClientPort - 1);
    QTcpSocket& first = station("127.0.0.1");
    QTcpSocket& second = station("127.0.0.1");
    QTcpSocket& other = station("127.0.0.2");
    ASSERT_EQ(collector->dataHostServer().StationCount(), 3);

    QTcpSocket& analyzer = running->connectFrom("127.0.0.3");
    ASSERT_TRUE(
        running->send(analyzer, SimulatedMessages::utf16(liveMessage("P1") + liveMessage("P2"))));
    // Only the first declaration of a read is changed to utf-8.
    const QByteArray expected = Windows1252::encode(liveMessage("P1", "utf-8") + liveMessage("P2"));
    EXPECT_TRUE(expected.contains("\xC5sa")) << "8-bit text in the ANSI code page";
    QByteArray toFirst;
    QByteArray toOther;
    ASSERT_TRUE(waitUntil([&] {
        toFirst += first.readAll();
        toOther += other.readAll();
        return toFirst.size() >= expected.size() && toOther.size() >= expected.size();
    }));
    EXPECT_EQ(toFirst, expected);
    EXPECT_EQ(toOther, expected);
    EXPECT_EQ(second.bytesAvailable(), 0) << "a second station from an address gets nothing";
    EXPECT_EQ(collector->dataHostServer().BytesForwarded(), 2 * expected.size());

    // The first station leaves: the second from its address is served from now on.
    first.disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return collector->dataHostServer().StationCount() == 2; }));
    ASSERT_TRUE(running->send(analyzer, SimulatedMessages::utf16(liveMessage("P3"))));
    QByteArray toSecond;
    ASSERT_TRUE(waitUntil([&] {
        toSecond += second.readAll();
        return toSecond.size() >= Windows1252::encode(liveMessage("P3", "utf-8")).size();
    }));
    EXPECT_EQ(toSecond, Windows1252::encode(liveMessage("P3", "utf-8")));
}

TEST_F(DataHostServerTest, AStationThatNeverReadsIsCutOffWhileAnalyzersKeepStoring) {
    startCollector();
    collector->collectionControl().start();
    collector->dataHostServer().SetOutputLimit(256 * 1024);
    auto stalled = std::make_unique<QTcpSocket>();
    stalled->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    stalled->setReadBufferSize(4096);
    stalled->connectToHost(QHostAddress::LocalHost, quint16(collector->dataHostServer().Port()));
    ASSERT_TRUE(stalled->waitForConnected(5000));
    ASSERT_TRUE(waitUntil([&] { return collector->dataHostServer().StationCount() == 1; }));

    QTcpSocket& analyzer = running->connectFrom("127.0.0.2");
    ASSERT_TRUE(running->send(analyzer, documentFor("FLOOD1", 30)));
    // Messages of no known type are forwarded as well: 40 of 256 KiB each.
    const QString filler = QStringLiteral("<?xml version=\"1.0\"?><Filler>") +
                           QString(256 * 1024, u'x') + QStringLiteral("</Filler></Tarvo>");
    for (int i = 0; i < 40 && collector->dataHostServer().StationCount() == 1; ++i)
        ASSERT_TRUE(running->send(analyzer, SimulatedMessages::utf16(filler)));
    ASSERT_TRUE(running->send(analyzer, documentFor("FLOOD2", 60)));

    EXPECT_EQ(collector->dataHostServer().StationCount(), 0);
    EXPECT_EQ(running->loggedCount("Orvanta station 127.0.0.1 does not take what is sent"), 1);
    ASSERT_TRUE(waitUntil([&] { return collector->waitingRebuilds() == 0; }));
    for (const auto& [id, perAnalyte] :
         {std::pair{QStringLiteral("FLOOD1"), 10}, std::pair{QStringLiteral("FLOOD2"), 20}}) {
        const auto points = storedPoints(running->patientFolder(id) + QStringLiteral("Tarvo.pil"));
        EXPECT_EQ(countOf(points, QStringLiteral("Glucose")), perAnalyte) << id.toStdString();
        EXPECT_EQ(countOf(points, QStringLiteral("Pyruvate")), perAnalyte) << id.toStdString();
    }
    stalled->abort();
}

TEST_F(DataHostServerTest, AllowedPeersRefusesOthersOnBothServersAndLogsOncePerHour) {
    startCollector(QStringLiteral("AllowedPeers=sz:127.0.0.1, 10.1.2.0/24\n"), &clock);
    const QString analyzerRefusal =
        QStringLiteral("Connection from 127.0.0.2 to the analyzer server refused");
    const QString stationRefusal =
        QStringLiteral("Connection from 127.0.0.2 to the data-host server refused");

    for (int attempt = 0; attempt < 3; ++attempt) {
        QTcpSocket refused;
        refused.bind(QHostAddress(QStringLiteral("127.0.0.2")));
        refused.connectToHost(QHostAddress::LocalHost, quint16(running->port));
        ASSERT_TRUE(refused.waitForConnected(5000));
        ASSERT_TRUE(
            waitUntil([&] { return refused.state() == QAbstractSocket::UnconnectedState; }));
        QTcpSocket& refusedStation = station(QStringLiteral("127.0.0.2"));
        ASSERT_TRUE(
            waitUntil([&] { return refusedStation.state() == QAbstractSocket::UnconnectedState; }));
    }
    EXPECT_EQ(collector->analyzerServer().ConnectionCount(), 0);
    EXPECT_EQ(collector->dataHostServer().StationCount(), 0);
    EXPECT_EQ(collector->state().networkRole, NetworkRole::Standalone)
        << "a refused peer changes nothing";
    EXPECT_EQ(running->loggedCount(analyzerRefusal), 1);
    EXPECT_EQ(running->loggedCount(stationRefusal), 1);

    QTcpSocket& admitted = running->connectFrom(QStringLiteral("127.0.0.1"));
    EXPECT_EQ(admitted.state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(collector->analyzerServer().ConnectionCount(), 1);
    station(QStringLiteral("127.0.0.1"));
    EXPECT_EQ(collector->dataHostServer().StationCount(), 1);

    clock.advanceSeconds(3600);
    QTcpSocket again;
    again.bind(QHostAddress(QStringLiteral("127.0.0.2")));
    again.connectToHost(QHostAddress::LocalHost, quint16(running->port));
    ASSERT_TRUE(again.waitForConnected(5000));
    ASSERT_TRUE(waitUntil([&] { return again.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(running->loggedCount(analyzerRefusal), 2) << "logged again after an hour";
}

TEST_F(DataHostServerTest, AllowedPeersWithoutOneReadableEntryAdmitsNoOne) {
    startCollector(QStringLiteral("AllowedPeers=sz:ward3, 10.1.2.0/40\n"));
    EXPECT_TRUE(running->logged("AllowedPeers: \"ward3\" is neither an address"));
    EXPECT_TRUE(running->logged("AllowedPeers: \"10.1.2.0/40\" is neither an address"));
    EXPECT_TRUE(running->logged("AllowedPeers holds no usable entry"));
    QTcpSocket& refused = station(QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(waitUntil([&] { return refused.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(collector->dataHostServer().StationCount(), 0);
}

TEST_F(DataHostServerTest, StoredListsThatNameNoPeerAdmitNoOneAndSayWhy) {
    struct Case {
        const char* stored;        // the line in the settings file
        const char* malformedLine; // nullptr: no entry is named unreadable
        bool admitted;             // a station from 127.0.0.1
        bool warned;               // the start-up warning about an empty list
    };
    const Case cases[] = {
        {"AllowedPeers=dword:1", "AllowedPeers: \"dword:1\" is neither an address", false, false},
        {"AllowedPeers=sz:,", nullptr, false, false},
        {"AllowedPeers=esc:%20,%20", nullptr, false, false},
        {"AllowedPeers=127.1", "AllowedPeers: \"127.1\" is neither an address", false, false},
        {"AllowedPeers=::ffff:127.0.0.0/120",
         "AllowedPeers: \"::ffff:127.0.0.0/120\" is neither an address", false, false},
        {"AllowedPeers=127.000.000.001", nullptr, true, false},
        {"AllowedPeers=", nullptr, true, true},
    };
    for (const Case& c : cases) {
        TempRoot own;
        RunningCollector instance(own, QString::fromLatin1(c.stored) + u'\n');
        ASSERT_TRUE(instance.started) << c.stored;
        Collector* const current = instance.collector.get();
        if (c.malformedLine != nullptr) {
            EXPECT_EQ(instance.loggedCount(QString::fromLatin1(c.malformedLine)), 1) << c.stored;
        }
        EXPECT_EQ(instance.logged(QStringLiteral("AllowedPeers holds no usable entry")),
                  !c.admitted)
            << c.stored;
        EXPECT_EQ(instance.loggedCount(QStringLiteral("Warning: AllowedPeers is empty")),
                  c.warned ? 1 : 0)
            << c.stored;

        QTcpSocket socket;
        socket.bind(QHostAddress::LocalHost);
        socket.connectToHost(QHostAddress::LocalHost, quint16(current->dataHostServer().Port()));
        ASSERT_TRUE(socket.waitForConnected(5000)) << c.stored;
        ASSERT_TRUE(waitUntil([&] {
            return current->dataHostServer().StationCount() == 1 ||
                   socket.state() == QAbstractSocket::UnconnectedState;
        })) << c.stored;
        EXPECT_EQ(current->dataHostServer().StationCount() == 1, c.admitted) << c.stored;
    }
}

TEST_F(DataHostServerTest, ClientSocketPortOutOfRangeFallsBackToTheDefault) {
    for (const int setting : {70000, 1, -5}) {
        TempRoot own;
        RunningCollector instance(own, QStringLiteral("ClientSocketPort=dword:%1\n").arg(setting));
        ASSERT_TRUE(instance.started);
        EXPECT_EQ(instance->state().dataClientPort, 13999) << setting;
        EXPECT_EQ(instance->state().dataHostServerPort, 13998) << setting;
        EXPECT_EQ(instance->dataHostServer().Port(), 13998) << setting;
        EXPECT_TRUE(instance.logged(QStringLiteral("Error(4): The setting ClientSocketPort = %1 is "
                                                   "no port number (2 to 65535); using port 13999")
                                        .arg(setting)))
            << setting;
    }
}

TEST_F(DataHostServerTest, APortTakenAtStartUpIsOpenedByTheMainTimerOnceItIsFree) {
    auto occupant = std::make_unique<QTcpServer>();
    ASSERT_TRUE(occupant->listen(QHostAddress::Any, 0));
    const int port = occupant->serverPort();
    TempRoot own;
    RunningCollector instance(
        own, QStringLiteral("ClientSocketPort=dword:%1\nTimerInterval=dword:50\n").arg(port + 1));
    ASSERT_TRUE(instance.started);
    EXPECT_FALSE(instance->dataHostServer().Active());
    EXPECT_TRUE(
        instance.logged(QStringLiteral("Error(4): Error when trying to set IP port number")));
    occupant.reset();
    ASSERT_TRUE(waitUntil([&] { return instance->dataHostServer().Active(); }, 5000));
    EXPECT_EQ(instance->dataHostServer().Port(), port);
    EXPECT_TRUE(
        instance.logged(QStringLiteral("The data-host server is active. Port %1").arg(port)));
    QTcpSocket station;
    station.connectToHost(QHostAddress::LocalHost, quint16(port));
    ASSERT_TRUE(waitUntil([&] { return instance->dataHostServer().StationCount() == 1; }));
}

TEST_F(DataHostServerTest, ConnectionListShowsAnalyzersAndStationsOnce) {
    startCollector();
    ConnectionListModel& list = collector->connectionList();
    EXPECT_FALSE(list.isVisible());
    station(QStringLiteral("127.0.0.4"));
    station(QStringLiteral("127.0.0.4"));
    running->connectFrom(QStringLiteral("127.0.0.5"));
    auto linesEndingWith = [&](const QString& prefix, const QString& address) {
        return std::count_if(list.lines().begin(), list.lines().end(), [&](const QString& line) {
            return line.startsWith(prefix) && line.endsWith(QStringLiteral(" (") + address + u')');
        });
    };
    ASSERT_EQ(list.lines().size(), 2) << list.lines().join(" | ").toStdString();
    EXPECT_TRUE(list.lines().first().startsWith("TARVO: "));
    EXPECT_EQ(linesEndingWith("TARVO: ", "127.0.0.5"), 1);
    EXPECT_EQ(linesEndingWith("Orvanta: ", "127.0.0.4"), 1) << "no entry twice";
    EXPECT_TRUE(list.isVisible());

    stations.front()->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return collector->dataHostServer().StationCount() == 1; }));
    EXPECT_EQ(linesEndingWith("Orvanta: ", "127.0.0.4"), 0)
        << "connections from the leaving address are left out";
    running->clients.back()->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return collector->analyzerServer().ConnectionCount() == 0; }));
    stations.back()->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return collector->dataHostServer().StationCount() == 0; }));
    EXPECT_FALSE(list.isVisible());
}
