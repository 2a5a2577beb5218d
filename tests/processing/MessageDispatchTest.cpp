// Messages of XML analyzers through a running collector: real loopback connections, real files
// and the event loop, with the automation server in memory.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include "FailingFileLayer.h"
#include "RunningCollector.h"
#include "SimulatedMessages.h"
#include "StoredPoints.h"
#include "XmlArchive.h"

using namespace SimulatedMessages;

namespace {

const QDateTime kTime(QDate(2026, 12, 8), QTime(10, 0));

QString liveFor(const QString& id, double value, const QString& connection = "Open",
                const QDateTime& time = kTime) {
    LiveMeasurement m;
    m.patient = {id, QStringLiteral("Anna"), QStringLiteral("Berg")};
    m.value = value;
    m.time = time;
    m.connection = connection;
    return live(m);
}

PatientDocument documentFor(const QString& id, int year = 2012, int measurements = 30) {
    PatientDocument d;
    d.schemaYear = year;
    d.patient = {id, QStringLiteral("Anna"), QStringLiteral("Berg")};
    d.uniqueId = QStringLiteral("{ADM-") + id + u'}';
    d.measurements = measurements;
    d.start = kTime;
    return d;
}

QStringList archiveOf(RunningCollector& c, const QString& id) {
    return QDir(c.patientFolder(id) + XmlArchive::kFolderName)
        .entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

class MessageDispatchTest : public ::testing::Test {
protected:
    std::unique_ptr<RunningCollector> start(const QString& settings = {}) {
        auto c = std::make_unique<RunningCollector>(root, settings);
        EXPECT_TRUE(c->started);
        return c;
    }
    TempRoot root;
};

} // namespace

TEST_F(MessageDispatchTest, PatientDataOfEverySchemaYearIsArchivedAndRebuiltWhileCollecting) {
    auto c = start();
    (*c)->collectionControl().start();
    QTcpSocket& analyzer = c->connectFrom();
    std::mt19937 random(7);
    for (const int year : {2004, 2008, 2012}) {
        const QString id = QStringLiteral("P%1").arg(year);
        // Pieces of random length: characters and tags are split between reads.
        for (const QByteArray& piece :
             randomPieces(utf16(patientData(documentFor(id, year))), random))
            ASSERT_TRUE(c->send(analyzer, piece));
    }
    for (const int year : {2004, 2008, 2012}) {
        const QString id = QStringLiteral("P%1").arg(year);
        EXPECT_EQ(archiveOf(*c, id), QStringList{"{ADM-" + id + "}.xml"});
        ASSERT_TRUE(waitUntil([&] { return (*c)->waitingRebuilds() == 0; }));
        const auto points = storedPoints(c->patientFolder(id) + "Tarvo.pil");
        EXPECT_EQ(countOf(points, "Glucose"), 10) << year;
        EXPECT_EQ(countOf(points, "Lactate"), 10) << year;
        EXPECT_EQ(countOf(points, "Pyruvate"), 10) << year;
        EXPECT_EQ(countOf(points, "LGRatio"), 10) << year;
        EXPECT_EQ(countOf(points, "LPRatio"), 10) << year;
    }
    EXPECT_EQ((*c)->state().collection, CollectionState::Collecting);
    EXPECT_TRUE(c->logged("Recreating data for P2008 from 1 archived documents"));
}

TEST_F(MessageDispatchTest, ABurstOfDocumentsForOnePatientCostsOneRebuild) {
    auto c = start();
    (*c)->collectionControl().start();
    QString burst;
    for (int i = 0; i < 5; ++i) {
        PatientDocument d = documentFor(QStringLiteral("B1"));
        d.uniqueId = QStringLiteral("{ADM-%1}").arg(i);
        burst += patientData(d);
    }
    burst += patientData(documentFor(QStringLiteral("B2")));
    // One read: every document is archived before the first rebuild runs.
    const QString output = (*c)->messageDispatcher().Dispatch(burst, QStringLiteral("127.0.0.1"));
    // The messages as cut: the first "utf-16" of the read became "utf-8", and the line ends
    // after each "</Tarvo>" belong to no message.
    QString expected = burst;
    expected.replace(QStringLiteral("</Tarvo>\r\n"), QStringLiteral("</Tarvo>"));
    expected.replace(expected.indexOf(QStringLiteral("utf-16")), 6, QStringLiteral("utf-8"));
    EXPECT_EQ(output, expected);
    EXPECT_EQ(archiveOf(*c, "B1").size(), 5);
    EXPECT_EQ((*c)->waitingRebuilds(), 2);
    ASSERT_TRUE(waitUntil([&] { return (*c)->waitingRebuilds() == 0; }));
    EXPECT_EQ(c->loggedCount("Recreating data for B1 from 5 archived documents"), 1);
    EXPECT_EQ(c->loggedCount("Recreating data for B2"), 1);
    EXPECT_EQ(countOf(storedPoints(c->patientFolder("B1") + "Tarvo.pil"), "Glucose"), 50);
}

TEST_F(MessageDispatchTest, LiveResultsAreAnnouncedNotStoredAndControlsAreStored) {
    auto c = start();
    (*c)->collectionControl().start();
    QTcpSocket& analyzer = c->connectFrom();
    AutoControlResult low;
    low.low = true;
    low.analyte = "Lactate";
    low.value = 1.5;
    low.time = kTime;
    AutoControlResult high = low;
    high.low = false;
    high.value = 6;
    QString elevated = autoControl(high);
    elevated.replace("AutoControlHigh", "AnythingElse");
    ASSERT_TRUE(c->send(analyzer, utf16(liveFor("L1", 4.25) + autoControl(low) + elevated)));

    EXPECT_TRUE(c->calls.contains("AddResult L1 Glucose CNS mmol/L 2026-12-08T10:00:00 4.25"))
        << c->calls.join('\n').toStdString();
    EXPECT_TRUE(storedPoints(c->patientFolder("L1") + "Tarvo.pil").empty());
    const auto controls = storedPoints(c->patientFolder("AutoControl") + "Tarvo.pil");
    ASSERT_EQ(controls.size(), 2u);
    EXPECT_EQ(controls[0].place, "Low");
    EXPECT_DOUBLE_EQ(controls[0].value, 1.5);
    EXPECT_EQ(controls[1].place, "Elevated");
    EXPECT_DOUBLE_EQ(controls[1].value, 6);
    EXPECT_EQ((*c)->status().connectionLabel(), "Incoming data");
    EXPECT_TRUE((*c)->resultProcessor().Progress().dataReceived());
}

TEST_F(MessageDispatchTest, ConnectionClosedTakesCollectionOfflineAndAMessageBringsItBack) {
    auto c = start();
    QTcpSocket& analyzer = c->connectFrom();
    (*c)->collectionControl().start();
    // The analyzer's notice that it goes away: a measurement without patient.
    const QString closed = liveFor(QString(), 0, "Closed");
    ASSERT_TRUE(c->send(analyzer, utf16(closed)));
    EXPECT_EQ((*c)->state().collection, CollectionState::CollectingOffline);
    ASSERT_TRUE(c->send(analyzer, utf16(liveFor("C1", 2, "Open"))));
    EXPECT_EQ((*c)->state().collection, CollectionState::Collecting);
    // A measurement that says "Closed" is still a result of a present analyzer.
    ASSERT_TRUE(c->send(analyzer, utf16(liveFor("C1", 2, "Closed"))));
    EXPECT_EQ((*c)->state().collection, CollectionState::Collecting);

    (*c)->collectionControl().stop();
    ASSERT_TRUE(c->send(analyzer, utf16(closed)));
    EXPECT_EQ((*c)->state().collection, CollectionState::Offline);
    ASSERT_TRUE(c->send(analyzer, utf16(admission({"C1", "A", "B"}, {}))));
    EXPECT_EQ((*c)->state().collection, CollectionState::Ready)
        << "any other message: link present";
}

TEST_F(MessageDispatchTest, AMessageOfNoKnownTypeIsLoggedWithItsSenderAndRootElement) {
    auto c = start();
    (*c)->collectionControl().start();
    QTcpSocket& analyzer = c->connectFrom("127.0.0.6");
    QString foreign = patientData(documentFor("N1"));
    foreign.replace(PatientDataNamespace::k2012, "urn:another-maker:2020");
    ASSERT_TRUE(foreign.contains("urn:another-maker:2020"));
    ASSERT_TRUE(c->send(analyzer, utf16(foreign)));
    EXPECT_EQ(c->loggedCount("Message from 127.0.0.6 not recognised, ignored: root element "
                             "<Tarvo xmlns=\"urn:another-maker:2020\">"),
              1);
    EXPECT_FALSE(QDir(c->patientFolder("N1")).exists()) << "nothing archived or stored";
    EXPECT_EQ((*c)->state().collection, CollectionState::Collecting);
}

TEST_F(MessageDispatchTest, AMessageThatFailsDoesNotHoldUpTheMessagesBehindIt) {
    auto c = start();
    (*c)->collectionControl().start();
    QTcpSocket& analyzer = c->connectFrom("127.0.0.5");
    const QString broken =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-16\"?><Tarvo><MDMeasurement>"
                       "<Oops></MDMeasurement></Tarvo>");
    AutoControlResult control;
    control.time = kTime;
    QString read = broken;
    for (const double value : {2.0, 3.0}) {
        control.value = value;
        read += autoControl(control);
    }
    int handled = 0;
    QObject::connect(&(*c)->messageDispatcher(), &MessageDispatcher::messageHandled,
                     [&] { ++handled; });
    // One read, and nothing after it: the analyzer has nothing more to send.
    ASSERT_TRUE(c->send(analyzer, utf16(read)));
    ASSERT_TRUE(waitUntil([&] { return handled == 2; }));
    EXPECT_TRUE(c->logged("Message from 127.0.0.5 not handled (111): "));
    const auto points = storedPoints(c->patientFolder("AutoControl") + "Tarvo.pil");
    ASSERT_EQ(points.size(), 2u);
    EXPECT_DOUBLE_EQ(points[0].value, 2);
    EXPECT_DOUBLE_EQ(points[1].value, 3);
}

// Good controls behind a flood of garbage from the same analyzer: every one is stored, in order,
// and the failures are counted rather than logged one by one.
class GarbageFloodTest : public MessageDispatchTest,
                         public ::testing::WithParamInterface<std::pair<const char*, int>> {};

TEST_P(GarbageFloodTest, GoodControlsBehindAFloodAreAllStored) {
    const auto [garbage, repeat] = GetParam();
    auto c = start();
    (*c)->collectionControl().start();
    QTcpSocket& analyzer = c->connectFrom("127.0.0.7");
    constexpr int kControls = 1500;
    QString controls;
    AutoControlResult control;
    for (int i = 0; i < kControls; ++i) {
        control.value = i;
        control.time = kTime.addSecs(i);
        controls += autoControl(control);
    }
    QByteArray flood = utf16(QString::fromLatin1(garbage).repeated(repeat));
    analyzer.write(flood);
    flood.clear();
    analyzer.write(utf16(controls));
    const QString file = c->patientFolder("AutoControl") + "Tarvo.pil";
    // The log keeps its last lines only: what it says about the flood is read while it comes.
    bool failureLogged = false;
    bool restCounted = false;
    ASSERT_TRUE(waitUntil(
        [&] {
            failureLogged |= c->logged("Message from 127.0.0.7 not handled (");
            restCounted |= c->logged("more messages from 127.0.0.7 not handled; the last (");
            return (*c)->resultProcessor().ResultCalls() >= kControls;
        },
        100000))
        << (*c)->resultProcessor().ResultCalls();
    const auto points = storedPoints(file);
    ASSERT_EQ(points.size(), std::size_t(kControls));
    for (int i = 0; i < kControls; ++i)
        ASSERT_DOUBLE_EQ(points[std::size_t(i)].value, i) << i;
    if (QByteArray(garbage).startsWith("<?xml")) {
        EXPECT_TRUE(failureLogged);
        EXPECT_TRUE(restCounted);
    }
}

INSTANTIATE_TEST_SUITE_P(MalformedMessagesAndStrayEndMarkers, GarbageFloodTest,
                         ::testing::Values(std::pair{"<?xml</Tarvo>", 600000},
                                           std::pair{"</Tarvo>", 1000000}),
                         [](const auto& info) {
                             return info.index == 0 ? std::string("MalformedMessages")
                                                    : std::string("StrayEndMarkers");
                         });

TEST_F(MessageDispatchTest, ADocumentOfSixtyThousandMeasurementsArrivesWhole) {
    auto c = start();
    (*c)->collectionControl().start();
    QTcpSocket& analyzer = c->connectFrom("127.0.0.8");
    PatientDocument d = documentFor("BIG", 2012, 60000);
    const QByteArray bytes = utf16(patientData(d));
    ASSERT_GT(bytes.size() / 2, qsizetype(8) << 20) << "more than the link used to take";
    analyzer.write(bytes);
    ASSERT_TRUE(waitUntil([&] { return archiveOf(*c, "BIG").size() == 1; }, 100000));
    ASSERT_TRUE(waitUntil([&] { return (*c)->waitingRebuilds() == 0; }, 100000));
    const auto points = storedPoints(c->patientFolder("BIG") + "Tarvo.pil");
    EXPECT_EQ(countOf(points, "Glucose"), 20000);
    EXPECT_EQ(countOf(points, "Lactate"), 20000);
    EXPECT_EQ(countOf(points, "Pyruvate"), 20000);
    EXPECT_FALSE(c->logged("Unfinished text from"));
}

TEST_F(MessageDispatchTest, ResultsArrivingWhileOneIsProcessedWaitAndKeepTheirOrder) {
    auto c = start();
    (*c)->collectionControl().start();
    MessageDispatcher& dispatcher = (*c)->messageDispatcher();
    AutoControlResult control;
    control.time = kTime;
    // A result is still on its way to the file (the automation server is being called).
    (*c)->resultProcessor().Progress().setProcessing(true);
    for (double value : {1.0, 2.0}) {
        control.value = value;
        dispatcher.Dispatch(autoControl(control), "127.0.0.1");
    }
    EXPECT_EQ(dispatcher.WaitingResults(), 2);
    EXPECT_EQ(dispatcher.CollisionText(), "Collisions = 2");
    EXPECT_TRUE(storedPoints(c->patientFolder("AutoControl") + "Tarvo.pil").empty());
    (*c)->resultProcessor().Progress().setProcessing(false);
    control.value = 3;
    dispatcher.Dispatch(autoControl(control), "127.0.0.1");
    EXPECT_EQ(dispatcher.WaitingResults(), 0);
    const auto points = storedPoints(c->patientFolder("AutoControl") + "Tarvo.pil");
    ASSERT_EQ(points.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_DOUBLE_EQ(points[std::size_t(i)].value, i + 1.0);
}

TEST_F(MessageDispatchTest, HostileUniqueIdsStayInsideTheArchive) {
    auto c = start();
    const QStringList hostile = {"..", "../../escape", "..\\..\\escape", "C:\\Windows\\x", "a/b",
                                 "",   "CON",          "trailing.",      "<tag>|?*"};
    for (const QString& id : hostile) {
        PatientDocument d = documentFor("H1", 2012, 3);
        d.uniqueId = id;
        (*c)->messageDispatcher().Dispatch(patientData(d), "127.0.0.1");
    }
    const QStringList archived = archiveOf(*c, "H1");
    EXPECT_EQ(archived.size(), hostile.size()) << archived.join(", ").toStdString();
    for (const QString& name : archived)
        EXPECT_TRUE(name.endsWith(".xml")) << name.toStdString();
    // Nothing was written anywhere else below the root.
    QStringList xmlFiles;
    QDirIterator it(root.path(), {"*.xml", "*escape*", "x"}, QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        xmlFiles << it.next();
    EXPECT_EQ(xmlFiles.size(), hostile.size());
    for (const QString& path : xmlFiles)
        EXPECT_TRUE(path.startsWith(c->patientFolder("H1") + "XML-files/")) << path.toStdString();
    EXPECT_TRUE(c->logged("Admission UniqueID \"../../escape\" cannot name an archive file"));
    // The same ID always gives the same name: a newer document replaces the older one.
    PatientDocument again = documentFor("H1", 2012, 3);
    again.uniqueId = "../../escape";
    (*c)->messageDispatcher().Dispatch(patientData(again), "127.0.0.1");
    EXPECT_EQ(archiveOf(*c, "H1").size(), hostile.size());
}

TEST_F(MessageDispatchTest, ADocumentWithoutAUsablePatientIsNotArchivedInAnotherPatientsFolder) {
    auto c = start();
    (*c)->messageDispatcher().Dispatch(patientData(documentFor("First", 2012, 3)), "127.0.0.1");
    PatientDocument nobody = documentFor("", 2012, 3);
    nobody.uniqueId = "{NOBODY}";
    (*c)->messageDispatcher().Dispatch(patientData(nobody), "127.0.0.1");
    EXPECT_EQ(archiveOf(*c, "First"), QStringList{"{ADM-First}.xml"});
    EXPECT_TRUE(c->logged("names no usable patient"));

    // A document without any admission is classified and loaded, and nothing is archived.
    const QString empty = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n") +
                          PatientDataNamespace::rootStartTag(PatientDataNamespace::k2012) +
                          QStringLiteral("\r\n</Tarvo>");
    TMessageType type = TMessageType::mtUnknown;
    QObject::connect(&(*c)->messageDispatcher(), &MessageDispatcher::messageHandled,
                     [&](const QString&, TMessageType handled) { type = handled; });
    (*c)->messageDispatcher().Dispatch(empty, "127.0.0.1");
    EXPECT_EQ(type, TMessageType::mtTarvoFlexData);
    EXPECT_EQ(archiveOf(*c, "First").size(), 1);
}

TEST_F(MessageDispatchTest, DuplicatesAreWrittenAsUtf16WhenSwitchedOn) {
    const QString duplicates = root.path() + "/network/share";
    auto c = start("DuplicateXMLFiles=dword:1\nDuplicateToNetworkLocation=" + duplicates + "\n");
    PatientDocument d = documentFor("D1", 2008, 3);
    d.uniqueId = "{DUP}";
    (*c)->messageDispatcher().Dispatch(patientData(d), "127.0.0.1");
    QFile copy(duplicates + "/D1/{DUP}.xml");
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    const QByteArray bytes = copy.readAll();
    ASSERT_GE(bytes.size(), 4);
    EXPECT_NE(bytes.left(2), QByteArray("\xFF\xFE", 2)) << "no byte-order mark";
    const QString text =
        QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    EXPECT_TRUE(text.startsWith("<?xml version=\"1.0\" encoding=\"utf-8\"?>"));
    EXPECT_TRUE(text.endsWith("</Admission>\r\n </Tarvo>")) << text.right(40).toStdString();
    EXPECT_FALSE(text.contains("xmlns=")) << "written as classified";
    bool logged = false;
    for (const QString& line : (*c)->log().extendedLines())
        logged |= line.contains("XML Duplicated to :" + duplicates + "/D1/");
    EXPECT_TRUE(logged);

    // A message on one line is archived but not duplicated.
    QString oneLine = patientData(documentFor("D2", 2008, 3));
    oneLine.remove("\r\n");
    (*c)->messageDispatcher().Dispatch(oneLine, "127.0.0.1");
    EXPECT_EQ(archiveOf(*c, "D2").size(), 1);
    EXPECT_FALSE(QFile::exists(duplicates + "/D2/{ADM-D2}.xml"));
}

TEST_F(MessageDispatchTest, ADuplicateThatCannotBeWrittenIsLoggedAndTheDocumentStillArchived) {
    QFile blocker(root.path() + "/blocked");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto c = start("DuplicateXMLFiles=dword:1\nDuplicateToNetworkLocation=" + root.path() +
                   "/blocked/share\n");
    (*c)->messageDispatcher().Dispatch(patientData(documentFor("E1", 2012, 3)), "127.0.0.1");
    EXPECT_EQ(archiveOf(*c, "E1").size(), 1);
    EXPECT_TRUE(c->logged("Error when duplicating XML-file: "));
    EXPECT_TRUE(c->logged("  Saving to: "));
}

TEST_F(MessageDispatchTest, AnArchiveWriteThatFailsLeavesNoDocumentAndIsLogged) {
    const QString share = root.path() + "/share";
    auto c = start("DuplicateXMLFiles=dword:1\nDuplicateToNetworkLocation=" + share + "/\n");
    for (const FailingFileLayer::Step step :
         {FailingFileLayer::Step::LostWrite, FailingFileLayer::Step::Flush,
          FailingFileLayer::Step::Commit}) {
        FailingFileLayer full(step, QStringLiteral(".xml"));
        (*c)->messageDispatcher().Dispatch(patientData(documentFor("F1", 2012, 3)), "127.0.0.1");
        EXPECT_TRUE(archiveOf(*c, "F1").isEmpty()) << int(step);
        EXPECT_FALSE(QFile::exists(share + "/F1/{ADM-F1}.xml")) << int(step);
        EXPECT_TRUE(c->logged("Could not write " + c->patientFolder("F1") +
                              XmlArchive::kFolderName + "/{ADM-F1}.xml"));
    }
    // Once the disk takes writes again, the next document is archived.
    (*c)->messageDispatcher().Dispatch(patientData(documentFor("F1", 2012, 3)), "127.0.0.1");
    EXPECT_EQ(archiveOf(*c, "F1"), QStringList{"{ADM-F1}.xml"});
    EXPECT_TRUE(QFile::exists(share + "/F1/{ADM-F1}.xml"));
}

TEST_F(MessageDispatchTest, AnAdmissionWithEventsRewritesTheEventsFile) {
    auto c = start();
    (*c)->collectionControl().start();
    const Patient patient{"EV1", "Eva", "Lind"};
    (*c)->messageDispatcher().Dispatch(
        admission(patient, {{kTime, "Catheter moved"}, {kTime.addSecs(60), "Pump refilled"}}),
        "127.0.0.1");
    QFile events(c->patientFolder("EV1") + "TarvoEvents.pil");
    ASSERT_TRUE(events.open(QIODevice::ReadOnly));
    const QByteArray first = events.readAll();
    events.close();
    EXPECT_TRUE(first.contains("Catheter moved"));
    (*c)->messageDispatcher().Dispatch(admission(patient, {{kTime, "Only this"}}), "127.0.0.1");
    ASSERT_TRUE(events.open(QIODevice::ReadOnly));
    const QByteArray second = events.readAll();
    EXPECT_TRUE(second.contains("Only this"));
    EXPECT_FALSE(second.contains("Catheter moved")) << "replaced, not merged";
}

TEST_F(MessageDispatchTest, ARebuildAfterTheAnalyzerWentAwayStillStoresEverything) {
    auto c = start();
    (*c)->collectionControl().start();
    // The last document, then the notice that the analyzer goes away, in one read: the rebuild
    // runs after collection lost its link.
    (*c)->messageDispatcher().Dispatch(
        patientData(documentFor("G1")) + liveFor(QString(), 0, "Closed"), "127.0.0.1");
    EXPECT_EQ((*c)->state().collection, CollectionState::CollectingOffline);
    ASSERT_TRUE(waitUntil([&] { return (*c)->waitingRebuilds() == 0; }));
    EXPECT_EQ(countOf(storedPoints(c->patientFolder("G1") + "Tarvo.pil"), "Glucose"), 10);
}

TEST_F(MessageDispatchTest, ADocumentForAPatientThatIsNotCollectedLeavesItsDataFileAlone) {
    auto c = start();
    (*c)->collectionControl().start();
    (*c)->messageDispatcher().Dispatch(patientData(documentFor("U1")), "127.0.0.1");
    ASSERT_TRUE(waitUntil([&] { return (*c)->waitingRebuilds() == 0; }));
    ASSERT_EQ(countOf(storedPoints(c->patientFolder("U1") + "Tarvo.pil"), "Glucose"), 10);

    ASSERT_TRUE((*c)->checkList().SetTicked("U1", false));
    PatientDocument next = documentFor("U1");
    next.uniqueId = "{ADM-U1-2}";
    (*c)->messageDispatcher().Dispatch(patientData(next), "127.0.0.1");
    ASSERT_TRUE(waitUntil([&] { return (*c)->waitingRebuilds() == 0; }));
    EXPECT_EQ(archiveOf(*c, "U1").size(), 2) << "archived all the same";
    EXPECT_EQ(countOf(storedPoints(c->patientFolder("U1") + "Tarvo.pil"), "Glucose"), 10)
        << "what was stored while the patient was collected stays";
    EXPECT_TRUE(c->logged("the patient is not collected"));
}
