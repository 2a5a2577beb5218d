// The analyzer on a serial line as a running collector meets it: a socat pseudo-terminal pair
// stands for the cable, the test writes at one end and the collector reads the other.
#include <gtest/gtest.h>

#include <random>

#include <QProcess>
#include <QSerialPort>

#include "Collector.h"
#include "RunningCollector.h"
#include "SerialLineSettings.h"
#include "SettingsStore.h"
#include "SimulatedMessages.h"
#include "SocatPair.h"
#include "StoredPoints.h"
#include "TempRoot.h"
#include "WaitUntil.h"
#include "Windows1252.h"

using namespace SimulatedMessages;

namespace {

const QDateTime kTime(QDate(2026, 12, 8), QTime(10, 0));

struct Cut {
    QString identity;
    TMessageType type;
    QString message;
};

QString liveFor(const QString& id, double value) {
    LiveMeasurement m;
    m.patient = {id, QStringLiteral("Åsa"), QStringLiteral("Öberg")};
    m.time = kTime;
    m.value = value;
    return live(m);
}

QString controlOf(double value) {
    AutoControlResult r;
    r.analyte = QStringLiteral("Lactate");
    r.time = kTime;
    r.value = value;
    return autoControl(r);
}

class SerialLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SocatPair::available())
            GTEST_SKIP() << "socat is not installed";
        analyzerEnd = root.path() + QStringLiteral("/analyzer-end");
        collectorEnd = root.path() + QStringLiteral("/collector-end");
        ASSERT_TRUE(pair.start(analyzerEnd, collectorEnd)) << pair.log().toStdString();
    }

    void TearDown() override {
        analyzer.close();
        running.reset();
    }

    void startCollector(const QString& settings = {}) {
        running = std::make_unique<RunningCollector>(
            root, QStringLiteral("SerialPort=") + collectorEnd +
                      QStringLiteral("\nTimerInterval=dword:50\n") + settings);
        ASSERT_TRUE(running->started);
        collector = running->collector.get();
        QObject::connect(
            &collector->messageDispatcher(), &MessageDispatcher::messageCut,
            [this](const QString& identity, TMessageType type, const QString& message) {
                cuts.push_back({identity, type, message});
            });
    }

    SerialLink& link() { return collector->serialLink(); }

    void openAnalyzer() {
        analyzer.close();
        analyzer.setPortName(analyzerEnd);
        ASSERT_TRUE(analyzer.open(QIODevice::WriteOnly)) << analyzer.errorString().toStdString();
    }

    // Writes the bytes at the analyzer's end and runs the event loop until they are written.
    bool write(const QByteArray& bytes) {
        analyzer.write(bytes);
        return waitUntil([&] { return analyzer.bytesToWrite() == 0; });
    }

    // Writes the bytes and runs the event loop until the collector has taken them.
    bool send(const QByteArray& bytes) {
        const qint64 target = link().bytesReceived() + bytes.size();
        return write(bytes) && waitUntil([&] { return link().bytesReceived() >= target; });
    }

    TempRoot root;
    SocatPair pair;
    QString analyzerEnd;
    QString collectorEnd;
    QSerialPort analyzer;
    std::unique_ptr<RunningCollector> running;
    Collector* collector = nullptr;
    std::vector<Cut> cuts;
};

} // namespace

TEST_F(SerialLinkTest, MessagesOnTheLineAreHandledAsTheSerialConnection) {
    startCollector();
    ASSERT_TRUE(link().isOpen());
    EXPECT_TRUE(running->logged(QStringLiteral("Serial port ") + collectorEnd +
                                QStringLiteral(" opened: 9600 baud, 8N1, no flow control")));
    collector->collectionControl().start();
    openAnalyzer();
    ASSERT_TRUE(send(Windows1252::encode(liveFor(QStringLiteral("S1"), 4.25) + controlOf(1.5))));

    ASSERT_EQ(cuts.size(), 2u);
    EXPECT_EQ(cuts[0].identity, "RS232");
    EXPECT_EQ(cuts[0].type, TMessageType::mtXMLTarvoLiveData);
    EXPECT_TRUE(cuts[0].message.contains(QStringLiteral("<LastName>Öberg</LastName>")))
        << cuts[0].message.toStdString();
    EXPECT_EQ(cuts[1].type, TMessageType::mtXMLTarvoAutoControl);
    EXPECT_NE(collector->connectionRecords().Find(QStringLiteral("RS232")), nullptr);
    EXPECT_TRUE(running->calls.contains("AddResult S1 Glucose CNS mmol/L 2026-12-08T10:00:00 4.25"))
        << running->calls.join('\n').toStdString();
    const auto controls = storedPoints(running->patientFolder("AutoControl") + "Tarvo.pil");
    ASSERT_EQ(controls.size(), 1u);
    EXPECT_EQ(controls[0].parameter, "Lactate");
    EXPECT_DOUBLE_EQ(controls[0].value, 1.5);
}

TEST_F(SerialLinkTest, PiecesAtOddOffsetsAndNulBytesMakeTheSameMessages) {
    startCollector();
    openAnalyzer();
    QStringList sent;
    for (int i = 0; i < 4; ++i)
        sent << liveFor(QStringLiteral("P%1").arg(i), 1.25 + i);
    QByteArray bytes;
    std::mt19937 random(7);
    for (const char c : Windows1252::encode(sent.join(QString()))) {
        if (random() % 9 == 0)
            bytes.append('\0');
        bytes.append(c);
    }
    bytes.append(QByteArray(3, '\0'));
    for (const QByteArray& piece : randomPieces(bytes, random, 41))
        ASSERT_TRUE(send(piece));

    ASSERT_EQ(cuts.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        QString expected = sent[i];
        expected.replace(QStringLiteral("utf-16"), QStringLiteral("utf-8"));
        EXPECT_EQ(cuts[std::size_t(i)].message, expected) << i;
    }
    EXPECT_EQ(link().pendingCharacters(), 0);
}

TEST_F(SerialLinkTest, WhileBusyTheBytesWaitInThePort) {
    startCollector();
    openAnalyzer();
    const QByteArray message = Windows1252::encode(liveFor(QStringLiteral("B1"), 2));
    collector->setBusy(true);
    ASSERT_TRUE(write(message));
    ASSERT_TRUE(waitUntil([&] { return link().RS232Port().bytesAvailable() == message.size(); }));
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(link().bytesReceived(), 0);
    EXPECT_TRUE(cuts.empty());
    collector->setBusy(false);
    ASSERT_TRUE(waitUntil([&] { return cuts.size() == 1; }));

    // Busy set and cleared by collection control itself: the main timer reads what waited.
    collector->collectionControl().setBusy(true);
    ASSERT_TRUE(write(message));
    ASSERT_TRUE(waitUntil([&] { return link().RS232Port().bytesAvailable() == message.size(); }));
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(cuts.size(), 1u);
    collector->collectionControl().setBusy(false);
    ASSERT_TRUE(waitUntil([&] { return cuts.size() == 2; }));
}

TEST_F(SerialLinkTest, ABurstLargerThanTheRingIsReadInTurnsAndNotCut) {
    startCollector();
    openAnalyzer();
    PatientDocument document;
    document.patient = {QStringLiteral("BIG"), QStringLiteral("Anna"), QStringLiteral("Berg")};
    document.measurements = 900;
    document.start = kTime;
    const QByteArray bytes = Windows1252::encode(patientData(document) + liveFor("BIG", 3));
    ASSERT_GT(bytes.size(), TBuffer::kSize + TBuffer::kSize / 2);
    collector->setBusy(true);
    ASSERT_TRUE(write(bytes));
    ASSERT_TRUE(waitUntil([&] { return link().RS232Port().bytesAvailable() == bytes.size(); }));
    collector->setBusy(false);
    ASSERT_TRUE(waitUntil([&] { return cuts.size() == 2; }))
        << "messages cut: " << cuts.size() << ", bytes taken: " << link().bytesReceived();
    EXPECT_EQ(cuts[0].type, TMessageType::mtTarvoFlexData);
    EXPECT_EQ(cuts[1].type, TMessageType::mtXMLTarvoLiveData);
    EXPECT_EQ(link().bytesReceived(), bytes.size());
}

TEST_F(SerialLinkTest, WithALineProtocolTheLinesGoToTheLineHandlerOfTheirOwn) {
    startCollector(QStringLiteral("CommunicationProtocol=HL7\n"));
    openAnalyzer();
    const QByteArray bytes =
        Windows1252::encode(liveFor(QStringLiteral("H1"), 2)) +
        recordMessage({"H1", "Anna", "Berg"}, "Glucose", 2, "mmol/L", kTime).toLatin1();
    ASSERT_TRUE(send(bytes));
    ASSERT_TRUE(waitUntil([&] { return collector->patients().IndexOf(QStringLiteral("H1")) >= 0; }))
        << "the record lines' patient";
    EXPECT_TRUE(cuts.empty());
    EXPECT_EQ(collector->connectionRecords().Find(QStringLiteral("RS232")), nullptr);
    EXPECT_TRUE(collector->lineQueue().empty());
    EXPECT_EQ(link().pendingCharacters(), 0);
    EXPECT_EQ(link().RS232Port().bytesAvailable(), 0);
}

TEST_F(SerialLinkTest, ALineErrorDropsTheMessageItBrokeWhole) {
    startCollector();
    collector->collectionControl().start();
    openAnalyzer();
    int beeps = 0;
    QObject::connect(&link(), &SerialLink::lineError, [&] { ++beeps; });
    // The error takes the decimal point of "2.5" with it: what comes after must not complete
    // the message as 25.
    const QByteArray message = Windows1252::encode(liveFor(QStringLiteral("E1"), 2.5));
    const qsizetype point = message.indexOf("<Concentration>2.5") + 16;
    ASSERT_TRUE(send(message.left(point)));
    emit link().RS232Port().errorOccurred(QSerialPort::ReadError);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(link().pendingCharacters(), 0);
    ASSERT_TRUE(send(message.mid(point + 1)));
    ASSERT_TRUE(send(Windows1252::encode(liveFor(QStringLiteral("E2"), 3.5))));

    ASSERT_EQ(cuts.size(), 1u) << cuts.front().message.toStdString();
    EXPECT_TRUE(cuts[0].message.contains(QStringLiteral("<PatientID>E2<")));
    EXPECT_FALSE(running->calls.join('\n').contains(QStringLiteral("AddResult E1")))
        << running->calls.join('\n').toStdString();
    EXPECT_TRUE(running->logged(QStringLiteral("characters of received text discarded")));
    EXPECT_TRUE(link().isOpen()) << "a line error leaves the port open";
}

TEST_F(SerialLinkTest, APortThatGoesAwayIsOpenedAgainByTheMainTimer) {
    startCollector();
    openAnalyzer();
    ASSERT_TRUE(send(Windows1252::encode(liveFor(QStringLiteral("V1"), 1))));
    ASSERT_EQ(cuts.size(), 1u);

    analyzer.close();
    pair.stop();
    ASSERT_TRUE(waitUntil([&] { return !link().isOpen(); }, 3000))
        << collector->log().mainLines().join('\n').toStdString();
    EXPECT_EQ(running->loggedCount(QStringLiteral("Serial port ") + collectorEnd +
                                   QStringLiteral(" is gone (")),
              1);
    EXPECT_LE(running->loggedCount(QStringLiteral("characters of received text discarded")), 1)
        << "a hung-up port's endless failures are told once";
    ASSERT_TRUE(waitUntil([&] { return running->logged(QStringLiteral("cannot be opened")); }));
    waitUntil([] { return false; }, 300); // several ticks of the main timer
    EXPECT_EQ(running->loggedCount(QStringLiteral("cannot be opened")), 1);

    ASSERT_TRUE(pair.start(analyzerEnd, collectorEnd)) << pair.log().toStdString();
    ASSERT_TRUE(waitUntil([&] { return link().isOpen(); }));
    EXPECT_EQ(running->loggedCount(QStringLiteral(" opened: 9600 baud")), 2);
    openAnalyzer();
    ASSERT_TRUE(send(Windows1252::encode(liveFor(QStringLiteral("V2"), 2))));
    ASSERT_EQ(cuts.size(), 2u);
    EXPECT_TRUE(cuts[1].message.contains(QStringLiteral("<PatientID>V2<")));
}

TEST_F(SerialLinkTest, APortMissingAtStartUpIsLoggedOnceAndOpenedWhenItAppears) {
    pair.stop();
    startCollector();
    EXPECT_FALSE(link().isOpen());
    waitUntil([] { return false; }, 300); // several ticks of the main timer
    EXPECT_EQ(running->loggedCount(QStringLiteral("Serial port ") + collectorEnd +
                                   QStringLiteral(" cannot be opened")),
              1);

    ASSERT_TRUE(pair.start(analyzerEnd, collectorEnd)) << pair.log().toStdString();
    ASSERT_TRUE(waitUntil([&] { return link().isOpen(); }));
    openAnalyzer();
    ASSERT_TRUE(send(Windows1252::encode(liveFor(QStringLiteral("M1"), 2))));
    EXPECT_EQ(cuts.size(), 1u);
}

TEST_F(SerialLinkTest, TheSimulatorSendsOnASerialLine) {
    startCollector();
    collector->collectionControl().start();
    QProcess sim;
    sim.start(QStringLiteral(TARVO_BIN_DIR "/tarvo-sim"),
              {"--serial", analyzerEnd, "control", "low", "Lactate", "1.75", "--time",
               "2026-12-08T10:00:00"});
    ASSERT_TRUE(sim.waitForStarted(5000));
    ASSERT_TRUE(waitUntil([&] { return sim.state() == QProcess::NotRunning; }, 30000));
    ASSERT_EQ(sim.exitCode(), 0) << sim.readAllStandardError().toStdString();
    ASSERT_TRUE(waitUntil([&] { return cuts.size() == 1; }));
    const auto controls = storedPoints(running->patientFolder("AutoControl") + "Tarvo.pil");
    ASSERT_EQ(controls.size(), 1u);
    EXPECT_DOUBLE_EQ(controls[0].value, 1.75);
}

TEST(SerialLineSettingsTest, LineParametersComeFromTheSettingsAndNonsenseFallsBack) {
    TempRoot root;
    root.writeHive(RegistryRoot::CurrentUser,
                   QString::fromLatin1(kTarvoSection) +
                       "SerialPort= /dev/ttyUSB1 \nSerialBaudRate=dword:19200\n"
                       "SerialFraming=7e1.5\nSerialFlowControl=rts/cts\n");
    QStringList complaints;
    auto complain = [&](const QString& line) {
        complaints << line;
    };
    const SettingsStore store(root.hives(), RegistryRoot::CurrentUser);
    const SerialLineSettings line = SerialLineSettings::Read(store, complain);
    EXPECT_EQ(line.portName, "/dev/ttyUSB1");
    EXPECT_EQ(line.Describe(), "19200 baud, 7E1.5, RTS/CTS flow control");
    EXPECT_TRUE(complaints.isEmpty());

    root.writeHive(RegistryRoot::CurrentUser,
                   QString::fromLatin1(kTarvoSection) +
                       "SerialBaudRate=dword:0\nSerialFraming=9X3\nSerialFlowControl=maybe\n");
    const SerialLineSettings fallback = SerialLineSettings::Read(store, complain);
    EXPECT_FALSE(fallback.configured());
    EXPECT_EQ(fallback.Describe(), "9600 baud, 8N1, no flow control");
    ASSERT_EQ(complaints.size(), 3);
    EXPECT_TRUE(complaints[1].contains("SerialFraming = \"9X3\""));
}
