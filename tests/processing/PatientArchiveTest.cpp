// What the archive and the events file of a patient receive from analyzer messages: documents as
// they came, events beside the results, and no document for the collector's own patients.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "RunningCollector.h"
#include "SimulatedMessages.h"
#include "StoredPoints.h"
#include "TXMLDocument.h"
#include "XmlArchive.h"

using namespace SimulatedMessages;

namespace {

const QDateTime kTime(QDate(2026, 12, 8), QTime(10, 0));

PatientDocument documentFor(const QString& id, const QString& uniqueId, int firstValue = 0) {
    PatientDocument d;
    d.patient = {id, QStringLiteral("Anna"), QStringLiteral("Berg")};
    d.uniqueId = uniqueId;
    d.measurements = 30;
    d.start = kTime;
    d.firstValue = firstValue;
    return d;
}

QString control(double value, const QDateTime& time) {
    AutoControlResult r;
    r.analyte = QStringLiteral("Lactate");
    r.value = value;
    r.time = time;
    return autoControl(r);
}

// Every element name of the document in document order.
void collectNames(pugi::xml_node node, QStringList& names) {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element)
            continue;
        names << QString::fromUtf8(child.name());
        collectNames(child, names);
    }
}

class PatientArchive : public ::testing::Test {
protected:
    void SetUp() override {
        c = std::make_unique<RunningCollector>(root);
        ASSERT_TRUE(c->started);
        (*c)->collectionControl().start();
    }

    void dispatch(const QString& text) {
        (*c)->messageDispatcher().Dispatch(text, QStringLiteral("127.0.0.1"));
        ASSERT_TRUE(waitUntil([&] { return (*c)->waitingRebuilds() == 0; }));
    }

    QString folder(const QString& id) const { return c->patientFolder(id); }

    TempRoot root;
    std::unique_ptr<RunningCollector> c;
};

} // namespace

TEST_F(PatientArchive, EventsOfAnIdWithSeparatorsAreStoredBesideItsResults) {
    const QString id = QStringLiteral("AB/12:34\\5");
    dispatch(patientData(documentFor(id, "{ADM-S}")));
    dispatch(admission({id, "Eva", "Lind"}, {{kTime, "Catheter moved"}}));
    EXPECT_FALSE(c->logged("Error(2): "));
    EXPECT_EQ(countOf(storedPoints(folder("AB12345") + "Tarvo.pil"), "Glucose"), 10);
    QFile events(folder("AB12345") + "TarvoEvents.pil");
    ASSERT_TRUE(events.open(QIODevice::ReadOnly)) << "the events are beside the results";
    EXPECT_TRUE(events.readAll().contains("Catheter moved"));
}

TEST_F(PatientArchive, ADocumentIsArchivedWithTheElementsItCameWith) {
    QString text = patientData(documentFor("AR1", "{ADM-AR1}"));
    text.remove(QRegularExpression(QStringLiteral("<AdmissionDate>[^<]*</AdmissionDate>")));
    text.remove(QRegularExpression(QStringLiteral("<FirstName>[^<]*</FirstName>")));
    dispatch(text);
    const QString archived = folder("AR1") + "XML-files/{ADM-AR1}.xml";
    ASSERT_TRUE(QFile::exists(archived));
    TXMLDocument sent;
    sent.LoadFromText(text);
    TXMLDocument stored;
    stored.LoadFromFile(archived);
    QStringList sentNames;
    QStringList storedNames;
    collectNames(sent.DocumentElement(), sentNames);
    collectNames(stored.DocumentElement(), storedNames);
    EXPECT_EQ(storedNames, sentNames);
    EXPECT_FALSE(storedNames.contains("AdmissionDate"));
    EXPECT_EQ(countOf(storedPoints(folder("AR1") + "Tarvo.pil"), "Glucose"), 10)
        << "read as before";
}

TEST_F(PatientArchive, DocumentsForTheCollectorsOwnPatientsAreRefused) {
    dispatch(control(1.5, kTime) + control(1.6, kTime.addSecs(600)) +
             control(1.7, kTime.addSecs(1200)));
    ASSERT_EQ(countOf(storedPoints(folder("AutoControl") + "Tarvo.pil"), "Lactate"), 3);

    dispatch(patientData(documentFor("AutoControl", "{ADM-AC}")));
    dispatch(patientData(documentFor("SN100 QC", "{ADM-QC}")));
    dispatch(patientData(documentFor("SN100 CAL", "{ADM-CAL}")));
    EXPECT_EQ(c->loggedCount("refused: the collector keeps the results of that patient itself"), 3);
    EXPECT_FALSE(QDir(folder("AutoControl") + "XML-files").exists());
    EXPECT_FALSE(QDir(folder("SN100QC")).exists());
    EXPECT_FALSE(QDir(folder("SN100CAL")).exists());
    const auto controls = storedPoints(folder("AutoControl") + "Tarvo.pil");
    EXPECT_EQ(countOf(controls, "Lactate"), 3) << "every control is still there";
    EXPECT_EQ(countOf(controls, "Glucose"), 0);

    // A folder that only the missing blank turns into a pseudo-patient's counts as one when its
    // record file says so; an ordinary patient ending in the same letters does not.
    QDir().mkpath(folder("SN7QC"));
    QFile record(folder("SN7QC") + "Patient");
    ASSERT_TRUE(record.open(QIODevice::WriteOnly));
    record.write(QByteArray("\xF1\x03", 2) + QByteArray("AutoControl").leftJustified(21, '\0'));
    record.close();
    dispatch(patientData(documentFor("SN7QC", "{ADM-SN7}")));
    EXPECT_FALSE(QDir(folder("SN7QC") + "XML-files").exists());
    dispatch(patientData(documentFor("PASCAL", "{ADM-PASCAL}")));
    EXPECT_EQ(countOf(storedPoints(folder("PASCAL") + "Tarvo.pil"), "Glucose"), 10);
}

TEST_F(PatientArchive, ARebuildFromAnArchiveHoldingLessMovesTheOldFileAside) {
    dispatch(patientData(documentFor("M1", "{ADM-A}")));
    ASSERT_EQ(countOf(storedPoints(folder("M1") + "Tarvo.pil"), "Glucose"), 10);
    // The first document leaves the archive (taken away by hand, or never archived here).
    ASSERT_TRUE(QFile::remove(folder("M1") + "XML-files/{ADM-A}.xml"));

    PatientDocument next = documentFor("M1", "{ADM-B}", 7);
    next.start = kTime.addDays(1);
    dispatch(patientData(next));
    const auto rebuilt = storedPoints(folder("M1") + "Tarvo.pil");
    EXPECT_EQ(countOf(rebuilt, "Glucose"), 10) << "the archive's document";
    const auto kept = storedPoints(folder("M1") + "Tarvo.pil0");
    EXPECT_EQ(countOf(kept, "Glucose"), 10) << "the old results, kept";
    EXPECT_EQ(countOf(kept, "LGRatio"), 10);
    EXPECT_TRUE(c->logged("The data file of M1 held 50 results that its archive does not hold; "
                          "it was kept as "));

    // A rebuild that gives back every result replaces the file without keeping another.
    dispatch(patientData(next));
    EXPECT_FALSE(QFile::exists(folder("M1") + "Tarvo.pil1"));
    EXPECT_EQ(countOf(storedPoints(folder("M1") + "Tarvo.pil"), "Glucose"), 10);
}
