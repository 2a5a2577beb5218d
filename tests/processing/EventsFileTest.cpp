#include <gtest/gtest.h>

#include <vector>

#include <QDir>
#include <QFile>

#include "Clock.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "EventsFile.h"
#include "OleDateTime.h"
#include "ProcessingProgress.h"
#include "StoredFileParser.h"
#include "TSaveItNew.h"
#include "TXMLDocument.h"
#include "TempRoot.h"

namespace {

QString admissionMessage(const QString& id, const QString& events) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><Tarvo version=\"1.1\">"
                          "<Admission><AdmissionGuid>{A}</AdmissionGuid><Patient><PatientID>") +
           id +
           QStringLiteral("</PatientID><FirstName>Åsa</FirstName><LastName>Öberg</LastName>"
                          "</Patient>") +
           events + QStringLiteral("</Admission></Tarvo>");
}

QString event(const QString& time, const QString& text) {
    return QStringLiteral("<Event><Time>%1</Time><EventText>%2</EventText></Event>")
        .arg(time, text);
}

class EventsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.dataRoot = root.driveC("TCA/DATA/");
        QDir().mkpath(state.dataRoot);
        state.collection = CollectionState::Collecting;
        state.autoCreate = true;
    }

    void receive(const QString& message) {
        TXMLDocument document;
        document.LoadFromText(message);
        events.ReadEvents(XMLTarvoEventsParser::GetTarvo(document).Get_Admission());
    }

    TStoredFileContent stored(const QString& id) const {
        QFile file(state.dataRoot + id + "/TarvoEvents.pil");
        return file.open(QIODevice::ReadOnly) ? StoredFileParser::parse(file.readAll())
                                              : TStoredFileContent();
    }

    TempRoot root;
    ManualClock clock{QDateTime(QDate(2026, 12, 8), QTime(9, 0))};
    EventLog log{clock};
    CollectorState state;
    TSaveItNew writer;
    ProcessingProgress progress;
    EventsFile events{writer, state, progress, log, clock};
};

} // namespace

TEST_F(EventsFileTest, EventsAreWrittenAndReplacedNotMerged) {
    receive(admissionMessage("P1", event("2009-03-17T14:05:33", "Catheter moved") +
                                       event("2009-03-17T14", "No minutes")));
    TStoredFileContent content = stored("P1");
    ASSERT_NE(content.eventSerie(), nullptr);
    EXPECT_TRUE(content.checksumValid);
    EXPECT_EQ(content.fileKind, qint32(TZelFileType::ftSingleEventSerie));
    EXPECT_EQ(content.patientId, "P1");
    EXPECT_EQ(content.patientName, QStringLiteral("Åsa Öberg"));
    ASSERT_EQ(content.eventSerie()->Points.size(), 2u);
    EXPECT_EQ(OleDateTime::toDateTime(content.eventSerie()->Points[0].X),
              QDateTime(QDate(2009, 3, 17), QTime(14, 5)));
    EXPECT_EQ(OleDateTime::toDateTime(content.eventSerie()->Points[1].X), clock.now())
        << "a time without minutes is now";
    const QString path = state.dataRoot + "P1/TarvoEvents.pil";
    EXPECT_FALSE(QFile::permissions(path) & QFileDevice::WriteOwner) << "read-only afterwards";
    EXPECT_TRUE(events.EventList().empty());

    receive(admissionMessage("P1", event("2009-03-18T08:00", "Only this one")));
    content = stored("P1");
    ASSERT_EQ(content.eventSerie()->Points.size(), 1u) << "replaced, not merged";
    EXPECT_EQ(content.eventSerie()->Points[0].Text, "Only this one");

    receive(admissionMessage("P1", QString()));
    content = stored("P1");
    ASSERT_NE(content.eventSerie(), nullptr);
    EXPECT_EQ(content.eventSerie()->Caption, "Events");
    EXPECT_TRUE(content.eventSerie()->Points.empty()) << "no events: an empty series";
}

TEST_F(EventsFileTest, FailuresAreLogged) {
    receive(admissionMessage("..", event("2009-03-17T14:05", "x")));
    ASSERT_FALSE(log.mainLines().isEmpty());
    EXPECT_TRUE(
        log.mainLines().last().contains(QStringLiteral(" - Error(2): The patient ID \"..\"")));

    state.autoCreate = false;
    receive(admissionMessage("NOFOLDER", event("2009-03-17T14:05", "x")));
    EXPECT_TRUE(
        log.mainLines().last().endsWith(QStringLiteral(" - Error(7): Could not save Events")));
}

TEST_F(EventsFileTest, EventsDocumentsFromTheArchive) {
    TXMLDocument document;
    document.LoadFromText(QStringLiteral(
        "<?xml version=\"1.0\"?>\n<Tarvo version=\"1.0\"><Events><Patient><PatientID>P9</PatientID>"
        "</Patient><Event><Time>2010-01-02T03:04</Time><EventText>Start</EventText></Event>"
        "</Events></Tarvo>"));
    events.ReadEvents(XMLTarvoEventsFromFileParser::GetTarvo(document).Get_Events());
    const TStoredFileContent content = stored("P9");
    ASSERT_NE(content.eventSerie(), nullptr);
    ASSERT_EQ(content.eventSerie()->Points.size(), 1u);
    EXPECT_EQ(content.eventSerie()->Points[0].Text, "Start");
}

TEST_F(EventsFileTest, AnAdmissionNamesTheCurrentPatientAndItsFolder) {
    const QString rebuilt = state.dataRoot + "Renamed" + QDir::separator();
    QDir().mkpath(rebuilt);
    struct Case {
        const char* id;
        QString rebuildFolder;
        QString expectedId;
        QString expectedFolder;
    };
    const std::vector<Case> cases{
        {"P1", {}, "P1", state.dataRoot + "P1" + QDir::separator()},
        // While a folder is rebuilt, its documents stay in it whatever ID they carry.
        {"P2", rebuilt, "P2", rebuilt},
        // An ID that names no folder keeps the patient before it; the names are the new ones.
        {"..", {}, "P2", rebuilt},
    };
    for (const Case& c : cases) {
        progress.setRebuildFolder(c.rebuildFolder);
        receive(admissionMessage(c.id, event("2009-03-17T14:05", "x")));
        const ProcessingProgress::Patient& current = progress.currentPatient();
        EXPECT_EQ(current.id, c.expectedId) << c.id;
        EXPECT_EQ(current.folder, c.expectedFolder) << c.id;
        EXPECT_EQ(current.fullName, QStringLiteral("Åsa Öberg")) << c.id;
    }
}
