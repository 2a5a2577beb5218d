// Patient-data documents into stored results and ratios, read back with the inspection tool.
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "Clock.h"
#include "CollectorState.h"
#include "DecimalSeparator.h"
#include "EventLog.h"
#include "FailingFileLayer.h"
#include "LatestValueGrid.h"
#include "OrvantaLink.h"
#include "ParameterCatalogue.h"
#include "PatManagement.h"
#include "PatientDataDocumentReader.h"
#include "PatientList.h"
#include "ProcessingHarness.h"
#include "ResultProcessor.h"
#include "SettingsStore.h"
#include "TSaveItNew.h"
#include "TXMLDocument.h"
#include "TempRoot.h"

namespace {

struct Measurement {
    QString time;
    QString concentration;
    QString attempt; // empty: no AttemptNo element
    QString vial;
    QString status;
};

QString recording(const QString& analyte, const QString& place, const QString& unit,
                  const std::vector<Measurement>& measurements) {
    QString text = QStringLiteral("<Recording Unit=\"%1\"><CatheterLocation>%2</CatheterLocation>"
                                  "<AnalyteCode>%3</AnalyteCode>")
                       .arg(unit, place, analyte);
    for (const Measurement& m : measurements) {
        text += QStringLiteral("<Measurement><TimeStamp>%1</TimeStamp><Concentration>%2"
                               "</Concentration>")
                    .arg(m.time, m.concentration);
        if (!m.attempt.isEmpty())
            text += QStringLiteral("<AttemptNo>%1</AttemptNo>").arg(m.attempt);
        text += QStringLiteral("<VialID>%1</VialID><Status>%2</Status></Measurement>")
                    .arg(m.vial, m.status);
    }
    return text + QStringLiteral("</Recording>");
}

QString admission(const QString& id, const QString& first, const QString& recordings) {
    return QStringLiteral("<Admission><UniqueID>{%1}</UniqueID><Patient><PatientID>%1</PatientID>"
                          "<FirstName>%2</FirstName><LastName>Son</LastName></Patient>")
               .arg(id, first) +
           recordings + QStringLiteral("</Admission>");
}

QString document(const QString& admissions) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Tarvo version=\"1.0\">") +
           admissions + QStringLiteral("</Tarvo>");
}

class PatientDataDocumentTest : public ::testing::Test, protected ProcessingHarness {
protected:
    void read(const QString& text) {
        TXMLDocument xml;
        xml.LoadFromText(text);
        reader.ReadPatientDataDocument(writer, XMLTarvoParser::GetTarvo(xml), false,
                                       DocumentContains(QStringLiteral("<AttemptNo>"), xml), true);
    }

    // The file as the inspection tool shows it.
    QJsonObject dump(const QString& id) const {
        QProcess tool;
        tool.start(QStringLiteral(TARVO_BIN_DIR "/tarvo-pil"),
                   {QStringLiteral("dump"), state.dataRoot + id + QStringLiteral("/Tarvo.pil")});
        tool.waitForFinished(30000);
        return QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
    }

    static QJsonObject serieNamed(const QJsonObject& dump, const QString& name) {
        for (const QJsonValue serie : dump["series"].toArray()) {
            if (serie.toObject()["parameterName"].toString() == name)
                return serie.toObject();
        }
        return {};
    }

    PatientDataDocumentReader reader{processor, state, log, clock};
};

const QString kNoon = QStringLiteral("2026-12-08T12:00:00");
const QString kOne = QStringLiteral("2026-12-08T13:00:00");
const QString kThree = QStringLiteral("2026-12-08T14:00:00");

} // namespace

TEST_F(PatientDataDocumentTest, ResultsAndRatiosAreStored) {
    read(document(
        admission("P1", "Per",
                  recording("Lactate", "CNS", "mmol/L",
                            {{kNoon, "2,0", "2", "A12", "OK"}, {kOne, "3.0", "1", "B1", ""}}) +
                      recording("Glucose", "CNS", "mg/dL", {{kNoon, "0", "2", "A12", "DL"}}) +
                      recording("Pyruvate", "CNS", "umol/L", {{kNoon, "100", "1", "A13", "OK"}}) +
                      recording("Glucose", "Muscle", "mmol/L", {{kNoon, "5", "1", "M1", "OK"}}))));
    const QJsonObject file = dump("P1");
    ASSERT_FALSE(file.isEmpty());
    EXPECT_TRUE(file["problems"].toArray().isEmpty());

    const QJsonArray lactate = serieNamed(file, "Lactate")["points"].toArray();
    ASSERT_EQ(lactate.size(), 2);
    EXPECT_EQ(lactate[0].toObject()["value"].toDouble(), 2.0) << "decimal comma";
    EXPECT_EQ(lactate[1].toObject()["statusText"].toString(), "OK") << "empty status is OK";

    const QJsonArray lg = serieNamed(file, "LGRatio")["points"].toArray();
    ASSERT_EQ(lg.size(), 1) << "only equal time and catheter pair (not Muscle, not 13:00)";
    EXPECT_EQ(lg[0].toObject()["value"].toDouble(), 1e10) << "glucose 0";
    EXPECT_EQ(lg[0].toObject()["status"].toInt(), int(TAnalyseResult::arUnderDetectionLimit));
    EXPECT_EQ(lg[0].toObject()["vial"].toString(), "A12");
    EXPECT_EQ(lg[0].toObject()["attempt"].toInt(), 2);

    const QJsonArray lp = serieNamed(file, "LPRatio")["points"].toArray();
    ASSERT_EQ(lp.size(), 1);
    EXPECT_DOUBLE_EQ(lp[0].toObject()["value"].toDouble(), 20.0) << "2.0 / 0.1 mmol/L";
    EXPECT_EQ(lp[0].toObject()["vial"].toString(), "A12/A13");
    EXPECT_EQ(lp[0].toObject()["attempt"].toInt(), 21);
    EXPECT_EQ(lp[0].toObject()["time"].toString(), "2026-12-08T12:00:00.000");
}

TEST_F(PatientDataDocumentTest, NoAttemptNumbersAndTimeStampsWithoutT) {
    read(document(
        admission("P2", "Pia",
                  recording("Urea", "CNS", "mM", {{"2026-12-08 12:00", "4.25", "", "V", "OK"}}))));
    const QJsonArray urea = serieNamed(dump("P2"), "Urea")["points"].toArray();
    ASSERT_EQ(urea.size(), 1);
    EXPECT_EQ(urea[0].toObject()["attempt"].toInt(), 1);
    EXPECT_EQ(urea[0].toObject()["time"].toString(),
              clock.now().addDays(-10000).toString("yyyy-MM-ddTHH:mm:ss.zzz"));
}

TEST_F(PatientDataDocumentTest, AnUnreadableConcentrationEndsTheDocument) {
    processor.Progress().reachStep(7);
    read(document(admission("P3", "Ola",
                            recording("Glucose", "CNS", "mM",
                                      {{kNoon, "5", "1", "V1", "OK"},
                                       {kOne, "1,234.5", "1", "V2", "OK"},
                                       {kOne, "6", "1", "V3", "OK"}}))));
    EXPECT_EQ(serieNamed(dump("P3"), "Glucose")["points"].toArray().size(), 1)
        << "what was stored before stays";
    ASSERT_FALSE(log.mainLines().isEmpty());
    EXPECT_TRUE(log.mainLines().last().contains(
        QStringLiteral(" - Error(3): '1.234.5' is not a valid floating point value (")));
}

TEST_F(PatientDataDocumentTest, OnlyTheFirstAdmissionNamesThePatient) {
    read(document(admission("P4", "First",
                            recording("Glucose", "CNS", "mM", {{kNoon, "5", "1", "V1", "OK"}})) +
                  admission("P5", "Second",
                            recording("Glucose", "CNS", "mM", {{kOne, "6", "1", "V2", "OK"}}))));
    ASSERT_EQ(patients.Count(), 1);
    EXPECT_EQ(patients.At(0).Patient.FirstName, "First");
    EXPECT_EQ(serieNamed(dump("P4"), "Glucose")["points"].toArray().size(), 2)
        << "all admissions' results go to the admitted patient";
    EXPECT_FALSE(QDir(state.dataRoot + "P5").exists());
}

TEST_F(PatientDataDocumentTest, ARatioSeriesThatCannotBeAddedLosesNoValueOfTheDocument) {
    // Glucose and Lactate exist in the file; the document's pairs need a new LGRatio series,
    // whose definition rewrites the file, and the disk is full.
    read(
        document(admission("P6", "Eva",
                           recording("Glucose", "CNS", "mM", {{kNoon, "5", "1", "V1", "OK"}}) +
                               recording("Lactate", "CNS", "mM", {{kOne, "2", "1", "V2", "OK"}}))));
    {
        FailingFileLayer fullDisk(FailingFileLayer::Step::Write);
        read(document(
            admission("P6", "Eva",
                      recording("Glucose", "CNS", "mM", {{kThree, "6", "1", "V3", "OK"}}) +
                          recording("Lactate", "CNS", "mM", {{kThree, "3", "1", "V4", "OK"}}))));
    }
    EXPECT_TRUE(log.mainLines().last().contains("Error(3): "))
        << log.mainLines().last().toStdString();
    const QJsonObject file = dump("P6");
    EXPECT_EQ(serieNamed(file, "Glucose")["points"].toArray().size(), 2)
        << "the document's values are on disk although its ratio could not be stored";
    EXPECT_EQ(serieNamed(file, "Lactate")["points"].toArray().size(), 2);
    EXPECT_TRUE(serieNamed(file, "LGRatio").isEmpty());

    // The writer is not left collecting: the next live control reaches the disk at once.
    processor.StoreFileResult(writer, "CNS", true, 1, "V5", "OK", TAnalyseResult::arNormal, true,
                              QDateTime(QDate(2026, 12, 8), QTime(15, 0)), "mM", 7.0, "Glucose");
    EXPECT_EQ(serieNamed(dump("P6"), "Glucose")["points"].toArray().size(), 3);
}

// What the window shows of the last value, and when the last value was stored, are those of
// the last value read: its patient, the separator it was shown with, the clock at its document.
TEST_F(PatientDataDocumentTest, TheLastValueShownAndStoredIsTheLastValueRead) {
    state.savedDecimalSeparator = u','; // the window's; documents are read with "."
    const QDateTime first = clock.now();
    EXPECT_FALSE(processor.LastStored().isValid()) << "nothing stored yet";
    const struct {
        QString id;
        QString firstName;
        QString analyte;
        QString concentration;
        QString shown;
        QString label;
    } documents[] = {{"P1", "Per", "Glucose", "2.5", "Glucose CNS = 2,50 mM", "P1 Per Son"},
                     {"P1", "Per", "Glucose", "12.25", "Glucose CNS = 12,3 mM", "P1 Per Son"},
                     {"P2", "Pia", "Urea", "0.75", "Urea CNS = 0,750 mM", "P2 Pia Son"}};
    int count = 0;
    for (const auto& d : documents) {
        SCOPED_TRACE(d.shown.toStdString());
        read(document(admission(
            d.id, d.firstName,
            recording(d.analyte, "CNS", "mM", {{kNoon, d.concentration, "1", "V", "OK"}}))));
        const QDateTime readAt = clock.now();
        clock.advanceSeconds(600);
        DecimalSeparator::set(u'.');
        EXPECT_EQ(processor.LatestValue(), d.shown);
        EXPECT_EQ(processor.PatientLabel(), d.label);
        EXPECT_EQ(grid.Cell(0, 1), d.shown);
        EXPECT_EQ(processor.LastStored(), readAt) << "when stored, not when asked";
        EXPECT_EQ(processor.LastStored(), first.addSecs(600 * count++));
    }
    processor.AdmitPatient(writer, "P3", "Ola", "Son");
    EXPECT_EQ(processor.PatientLabel(), "P2 Pia Son") << "the patient of the last value";
    EXPECT_EQ(processor.LatestValue(), "Urea CNS = 0,750 mM");
    DecimalSeparator::set(DecimalSeparator::system());
}
