// The analyzer link as analyzers meet it: a running collector and real loopback connections.
#include <gtest/gtest.h>

#include <random>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTcpSocket>

#include "Clock.h"
#include "Collector.h"
#include "LiveMessages.h"
#include "OperatorMessages.h"
#include "RunningCollector.h"
#include "SimulatedMessages.h"
#include "StoredPoints.h"
#include "TempRoot.h"
#include "WaitUntil.h"

namespace {

struct Cut {
    QString identity;
    TMessageType type;
    QString message;
};

class AnalyzerLinkTest : public ::testing::Test {
protected:
    void startCollector(const QString& settings = {}) {
        running = std::make_unique<RunningCollector>(root, "InterNetworking=dword:1\n" + settings);
        ASSERT_TRUE(running->started);
        collector = running->collector.get();
        port = running->port;
        QObject::connect(
            &collector->messageDispatcher(), &MessageDispatcher::messageCut,
            [this](const QString& identity, TMessageType type, const QString& message) {
                cuts.push_back({identity, type, message});
            });
    }

    QTcpSocket& connectFrom(const QString& address) {
        const int before = collector->analyzerServer().ConnectionCount();
        QTcpSocket& socket = running->connectFrom(address);
        EXPECT_EQ(socket.state(), QAbstractSocket::ConnectedState);
        EXPECT_GT(collector->analyzerServer().ConnectionCount(), before);
        return socket;
    }

    // Sends bytes and waits until the collector has read them.
    void send(QTcpSocket& socket, const QByteArray& bytes) {
        ASSERT_TRUE(running->send(socket, bytes));
    }

    TempRoot root;
    std::unique_ptr<RunningCollector> running;
    Collector* collector = nullptr;
    int port = 0;
    std::vector<Cut> cuts;
};

} // namespace

TEST_F(AnalyzerLinkTest, SeveralAnalyzersAtOnce) {
    startCollector();
    const QStringList addresses = {"127.0.0.2", "127.0.0.3", "127.0.0.4"};
    std::vector<QByteArray> streams;
    for (const QString& address : addresses) {
        connectFrom(address);
        streams.push_back(utf16Bytes(liveMessage(address + "-A") + liveMessage(address + "-B")));
    }
    // Interleaved pieces of 7 bytes: every piece of UTF-16 text ends in the middle of a character.
    for (qsizetype at = 0; at < streams[0].size(); at += 7) {
        for (std::size_t i = 0; i < running->clients.size(); ++i)
            send(*running->clients[i], streams[i].mid(at, 7));
    }
    ASSERT_EQ(cuts.size(), 6u);
    for (const QString& address : addresses) {
        QStringList received;
        for (const Cut& cut : cuts) {
            if (cut.identity == address) {
                EXPECT_EQ(cut.type, TMessageType::mtXMLTarvoLiveData);
                received << cut.message;
            }
        }
        EXPECT_EQ(received, (QStringList{liveMessage(address + "-A", "utf-8"),
                                         liveMessage(address + "-B", "utf-8")}));
    }
    EXPECT_EQ(collector->connectionRecords().Count(), 3u);
}

TEST_F(AnalyzerLinkTest, AMessageSplitAtAnyByteArrivesWhole) {
    startCollector();
    QTcpSocket& analyzer = connectFrom("127.0.0.2");
    const QByteArray bytes = utf16Bytes(liveMessage("1912"));
    for (qsizetype cut = 1; cut < bytes.size(); ++cut) {
        send(analyzer, bytes.left(cut));
        send(analyzer, bytes.mid(cut));
        ASSERT_EQ(cuts.size(), std::size_t(cut)) << "split at byte " << cut;
        ASSERT_EQ(cuts.back().message, liveMessage("1912", "utf-8")) << "split at byte " << cut;
        ASSERT_EQ(cuts.back().type, TMessageType::mtXMLTarvoLiveData) << "split at byte " << cut;
    }
}

TEST_F(AnalyzerLinkTest, TwoUtf16MessagesInOneReadAreBothLiveResults) {
    startCollector();
    QTcpSocket& analyzer = connectFrom("127.0.0.2");
    send(analyzer, utf16Bytes(liveMessage("P1") + liveMessage("P2")) + QByteArray(2, '\0'));
    ASSERT_EQ(cuts.size(), 2u);
    EXPECT_EQ(cuts[0].type, TMessageType::mtXMLTarvoLiveData);
    EXPECT_EQ(cuts[1].type, TMessageType::mtXMLTarvoLiveData);
}

TEST_F(AnalyzerLinkTest, TwoAnalyzersBehindOneAddressShareOneRecordButNotTheirText) {
    startCollector();
    QTcpSocket& first = connectFrom("127.0.0.5");
    QTcpSocket& second = connectFrom("127.0.0.5");
    const QByteArray one = utf16Bytes(liveMessage("ONE"));
    const QByteArray two = utf16Bytes(liveMessage("TWO"));
    send(first, one.left(100));
    send(second, two.left(150));
    send(first, one.mid(100, 7)); // ends in the middle of a character
    EXPECT_TRUE(cuts.empty()) << "halves of two analyzers' messages make no message";
    send(second, two.mid(150));
    send(first, one.mid(107));
    ASSERT_EQ(cuts.size(), 2u);
    EXPECT_EQ(cuts[0].message, liveMessage("TWO", "utf-8"));
    EXPECT_EQ(cuts[1].message, liveMessage("ONE", "utf-8"));
    EXPECT_EQ(cuts[0].identity, "127.0.0.5");
    EXPECT_EQ(collector->connectionRecords().Count(), 1u);
}

TEST_F(AnalyzerLinkTest, DocumentsOfTwoAnalyzersBehindOneAddressReachTheirOwnPatients) {
    startCollector();
    collector->collectionControl().start();
    QTcpSocket& first = connectFrom("127.0.0.5");
    QTcpSocket& second = connectFrom("127.0.0.5");
    auto documentOf = [](const QString& id, int measurements) {
        SimulatedMessages::PatientDocument d;
        d.patient = {id, QStringLiteral("Anna"), QStringLiteral("Berg")};
        d.uniqueId = QStringLiteral("{ADM-") + id + u'}';
        d.measurements = measurements;
        d.start = QDateTime(QDate(2026, 12, 8), QTime(10, 0));
        return SimulatedMessages::utf16(SimulatedMessages::patientData(d) +
                                        liveMessage(id + QStringLiteral("-live")));
    };
    std::mt19937 random(11);
    std::vector<QByteArray> one =
        SimulatedMessages::randomPieces(documentOf("NAT1", 30), random, 97);
    std::vector<QByteArray> two =
        SimulatedMessages::randomPieces(documentOf("NAT2", 60), random, 97);
    for (std::size_t i = 0; i < std::max(one.size(), two.size()); ++i) {
        if (i < one.size())
            send(first, one[i]);
        if (i < two.size())
            send(second, two[i]);
    }
    ASSERT_EQ(cuts.size(), 4u);
    ASSERT_TRUE(waitUntil([&] { return collector->waitingRebuilds() == 0; }));
    for (const auto& [id, perAnalyte] :
         {std::pair{QStringLiteral("NAT1"), 10}, std::pair{QStringLiteral("NAT2"), 20}}) {
        const QString folder = running->patientFolder(id);
        EXPECT_EQ(QDir(folder + QStringLiteral("XML-files")).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("{ADM-") + id + QStringLiteral("}.xml")});
        const auto points = storedPoints(folder + QStringLiteral("Tarvo.pil"));
        EXPECT_EQ(countOf(points, QStringLiteral("Glucose")), perAnalyte) << id.toStdString();
        EXPECT_EQ(countOf(points, QStringLiteral("Lactate")), perAnalyte) << id.toStdString();
        EXPECT_EQ(countOf(points, QStringLiteral("Pyruvate")), perAnalyte) << id.toStdString();
        EXPECT_EQ(std::count_if(cuts.begin(), cuts.end(),
                                [&](const Cut& cut) {
                                    return cut.message.endsWith(QStringLiteral("</Tarvo>")) &&
                                           cut.message.contains(QStringLiteral("<PatientID>") + id +
                                                                QStringLiteral("-live<"));
                                }),
                  1);
    }
}

TEST_F(AnalyzerLinkTest, ReconnectingAnalyzerGetsItsRecordBack) {
    startCollector();
    QTcpSocket& analyzer = connectFrom("127.0.0.6");
    send(analyzer, utf16Bytes(liveMessage("cut off", "utf-8")).left(121));
    TTarvoSocket* record = collector->connectionRecords().Find("127.0.0.6");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(collector->analyzerServer().PendingCharacters(), 60);
    analyzer.disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return collector->analyzerServer().ConnectionCount() == 0; }));
    EXPECT_EQ(collector->analyzerServer().PendingCharacters(), 0);
    EXPECT_TRUE(running->logged("Connection from 127.0.0.6 closed in the middle of a message; 121 "
                                "bytes of unfinished text discarded"));

    QTcpSocket& again = connectFrom("127.0.0.6");
    send(again, utf16Bytes(liveMessage("1912")));
    ASSERT_EQ(cuts.size(), 1u);
    EXPECT_EQ(cuts[0].message, liveMessage("1912", "utf-8")) << "the unfinished message is dropped";
    EXPECT_EQ(collector->connectionRecords().Find("127.0.0.6"), record);
}

TEST_F(AnalyzerLinkTest, LineEndsAfterTheLastMessageAreNoUnfinishedMessage) {
    startCollector();
    QTcpSocket& analyzer = connectFrom("127.0.0.7");
    send(analyzer, utf16Bytes(liveMessage("1913") + QStringLiteral("\r\n")));
    ASSERT_EQ(cuts.size(), 1u);
    analyzer.disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return collector->analyzerServer().ConnectionCount() == 0; }));
    EXPECT_FALSE(running->logged("Connection from 127.0.0.7 closed in the middle of a message"));
}

TEST_F(AnalyzerLinkTest, WhileBusyBytesWaitAndNoneAreLost) {
    startCollector();
    QTcpSocket& analyzer = connectFrom("127.0.0.2");
    collector->setBusy(true);
    const QByteArray bytes = utf16Bytes(liveMessage("P1") + liveMessage("P2"));
    analyzer.write(bytes);
    analyzer.flush();
    waitUntil([] { return false; }, 300);
    EXPECT_TRUE(cuts.empty());
    EXPECT_EQ(collector->analyzerServer().BytesReceived(), 0);
    collector->setBusy(false);
    ASSERT_TRUE(waitUntil([&] { return cuts.size() == 2; }));
    EXPECT_EQ(cuts[1].message, liveMessage("P2", "utf-8"));
}

TEST_F(AnalyzerLinkTest, AnAnalyzerThatLeavesWhileBusyHasItsMessagesHandledAfterwards) {
    startCollector();
    QTcpSocket& analyzer = connectFrom("127.0.0.3");
    collector->setBusy(true);
    analyzer.write(utf16Bytes(liveMessage("P1") + liveMessage("P2")));
    analyzer.flush();
    analyzer.disconnectFromHost();
    waitUntil([] { return false; }, 300);
    EXPECT_TRUE(cuts.empty()) << "nothing is read while busy";
    collector->setBusy(false);
    ASSERT_EQ(cuts.size(), 2u);
    EXPECT_EQ(cuts[1].message, liveMessage("P2", "utf-8"));
    EXPECT_EQ(collector->analyzerServer().ConnectionCount(), 0);
}

TEST_F(AnalyzerLinkTest, ConnectAndDisconnectUpdateTheModels) {
    startCollector();
    EXPECT_FALSE(collector->connectionList().isVisible());
    connectFrom("127.0.0.7");
    EXPECT_EQ(collector->state().networkRole, NetworkRole::AnalyzerLinked);
    ASSERT_TRUE(collector->connectionList().isVisible());
    EXPECT_TRUE(collector->connectionList().lines().first().startsWith(QStringLiteral("TARVO: ")));
    EXPECT_TRUE(
        collector->connectionList().lines().first().endsWith(QStringLiteral(" (127.0.0.7)")));
    EXPECT_TRUE(collector->status().caption().contains(QStringLiteral("IP = ")));
    EXPECT_TRUE(collector->status().caption().contains(QStringLiteral(":%1, Host = ").arg(port)));
    EXPECT_FALSE(collector->settings().read(Setting::InterNetworking))
        << "a directly connected analyzer switches inter-networking off";
    EXPECT_FALSE(collector->status().noNetworkLabelVisible());
    const QStringList log = collector->log().mainLines();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const QString& line) {
        return line.contains(QStringLiteral(" - New Caption = Tarvo Data Client (Ver. "));
    }));

    running->clients.back()->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return collector->analyzerServer().ConnectionCount() == 0; }));
    EXPECT_EQ(collector->state().networkRole, NetworkRole::Standalone);
    EXPECT_FALSE(collector->connectionList().isVisible());
    EXPECT_EQ(collector->status().connectionLabel(), "Disconnected");
}

TEST_F(AnalyzerLinkTest, LineProtocolQueuesLinesAndNumbersItsCopies) {
    startCollector(QStringLiteral("CommunicationProtocol=HL7\nFilter194=dword:1\n"));
    int wakeUps = 0;
    QStringList queued; // as the line handler finds them
    QObject::connect(collector, &Collector::linesWaiting, [&] {
        ++wakeUps;
        if (queued.isEmpty() && !collector->lineQueue().empty())
            queued = collector->lineQueue().front().lines;
    });
    QTcpSocket& analyzer = connectFrom("127.0.0.2");
    send(analyzer, "H|1\rP|\xC2\xC5sa\r\x04");
    ASSERT_TRUE(waitUntil([&] { return wakeUps == 1; }));
    EXPECT_EQ(queued, (QStringList{"H|1", QStringLiteral("P|Åsa"), QString(QChar(4))}));
    for (int chunk = 1; chunk <= 21; ++chunk)
        send(analyzer, "R|" + QByteArray::number(chunk) + "\r");
    ASSERT_TRUE(waitUntil([&] { return wakeUps == 22; }));
    const QString folder = collector->state().logFolder;
    for (int n = 0; n <= 20; ++n)
        EXPECT_TRUE(QFile::exists(folder + QStringLiteral("Message%1.txt").arg(n))) << n;
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("Message21.txt")));
    QFile first(folder + QStringLiteral("Message0.txt"));
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_EQ(first.readAll(), QByteArray("R|21\r")) << "the 22nd copy wraps to number 0";
    QFile second(folder + QStringLiteral("Message1.txt"));
    ASSERT_TRUE(second.open(QIODevice::ReadOnly));
    EXPECT_EQ(second.readAll(), QByteArray("R|1\r")) << "copies are written as received";
}

TEST_F(AnalyzerLinkTest, EndlessTextStaysBoundedAndTheNextMessageGetsThrough) {
    startCollector();
    QTcpSocket& analyzer = connectFrom("127.0.0.9");
    const QByteArray piece =
        utf16Bytes(QStringLiteral("<?xml version=\"1.0\"?><Tarvo>") + QString(512 * 1024 - 27, u'x'));
    // More than the largest document the link takes: 64 Mi characters are 128 MiB of UTF-16.
    const qint64 total = qint64(160) << 20;
    qint64 sent = 0;
    qsizetype largestPending = 0;
    while (sent < total) {
        if (analyzer.bytesToWrite() < (qint64(8) << 20)) {
            analyzer.write(piece);
            sent += piece.size();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        largestPending = std::max(largestPending, collector->analyzerServer().PendingCharacters());
    }
    const QByteArray good = utf16Bytes(liveMessage("after"));
    analyzer.write(good);
    ASSERT_TRUE(waitUntil([&] { return !cuts.empty(); }, 60000));
    EXPECT_EQ(cuts.back().message, liveMessage("after", "utf-8"));
    EXPECT_LE(largestPending, ServerSocketTarvo::kPendingLimit);
    const QStringList log = collector->log().mainLines();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const QString& line) {
        return line.contains(
            QStringLiteral("Unfinished text from 127.0.0.9 passed the limit of 67108864 "
                           "characters for one message ("));
    }));
}

TEST_F(AnalyzerLinkTest, ConnectionsBeyondTheLimitAreRefusedAndLoggedOncePerSender) {
    startCollector("AnalyzerConnectionLimit=dword:3\n");
    ASSERT_EQ(collector->analyzerServer().ConnectionLimit(), 3);
    for (const char* address : {"127.0.0.2", "127.0.0.3", "127.0.0.4"})
        connectFrom(QString::fromLatin1(address));

    const auto refusedFrom = [&](const QString& address) {
        QTcpSocket socket;
        socket.bind(QHostAddress(address));
        socket.connectToHost(QHostAddress::LocalHost, quint16(port));
        EXPECT_TRUE(socket.waitForConnected(5000));
        return waitUntil([&] { return socket.state() == QAbstractSocket::UnconnectedState; });
    };
    const auto refusals = [&](const char* address) {
        return running->loggedCount(QStringLiteral("Connection from %1 to the analyzer server "
                                                   "refused: 3 analyzer connections are open, "
                                                   "the limit set by AnalyzerConnectionLimit")
                                        .arg(QString::fromLatin1(address)));
    };
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_TRUE(refusedFrom(QStringLiteral("127.0.0.5")));
        EXPECT_TRUE(refusedFrom(QStringLiteral("127.0.0.6")));
    }
    EXPECT_EQ(collector->analyzerServer().ConnectionCount(), 3);
    EXPECT_EQ(refusals("127.0.0.5"), 1);
    EXPECT_EQ(refusals("127.0.0.6"), 1);

    // The analyzers within the limit go on.
    send(*running->clients.back(), utf16Bytes(liveMessage("WITHIN")));
    ASSERT_FALSE(cuts.empty());
    EXPECT_EQ(cuts.back().message, liveMessage("WITHIN", "utf-8"));

    // A place set free is taken; a refusal after that is logged again.
    running->clients.front()->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return collector->analyzerServer().ConnectionCount() == 2; }));
    connectFrom(QStringLiteral("127.0.0.5"));
    EXPECT_TRUE(refusedFrom(QStringLiteral("127.0.0.6")));
    EXPECT_EQ(refusals("127.0.0.6"), 2);
}

TEST(AnalyzerConnectionLimit, AValueOutsideItsRangeIsRefusedForTheDefault) {
    for (const int setting : {0, -1, 1025}) {
        TempRoot root;
        RunningCollector running(root,
                                 QStringLiteral("AnalyzerConnectionLimit=dword:%1\n").arg(setting));
        ASSERT_TRUE(running.started);
        EXPECT_EQ(running->analyzerServer().ConnectionLimit(), 64) << setting;
        EXPECT_EQ(running.loggedCount(QStringLiteral("Error(4): The setting "
                                                     "AnalyzerConnectionLimit = %1 is outside 1 "
                                                     "to 1024; using 64")
                                          .arg(setting)),
                  1)
            << setting;
    }
}
