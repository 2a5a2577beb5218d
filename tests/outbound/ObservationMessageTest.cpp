// Building the device observation message of one stored result, and reading an engine's answer.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <vector>

#include <QStringList>
#include <QTimeZone>

#include "ObservationMessage.h"

namespace {

// A field of the message by its place: "OBX-5" is the fifth field of the OBX segment, "OBX-3.2"
// its second component (MSH counts its field separator as MSH-1).
QString field(const QByteArray& message, const QString& place) {
    const QString segmentName = place.section(u'-', 0, 0);
    const QString position = place.section(u'-', 1);
    const int number = position.section(u'.', 0, 0).toInt();
    const int component = position.contains(u'.') ? position.section(u'.', 1).toInt() : 0;
    for (const QString& segment : QString::fromUtf8(message).split(u'\r')) {
        if (segment.section(u'|', 0, 0) != segmentName)
            continue;
        const QStringList fields = segment.split(u'|');
        const int index = segmentName == QLatin1String("MSH") ? number - 1 : number;
        const QString value = fields.value(index);
        return component == 0 ? value : value.split(u'^').value(component - 1);
    }
    return QStringLiteral("<no %1>").arg(segmentName);
}

StoredResult glucose() {
    StoredResult result;
    result.patientId = QStringLiteral("P1");
    result.lastName = QStringLiteral("Berg");
    result.firstName = QStringLiteral("Asa");
    result.parameter = QStringLiteral("Glucose");
    result.place = QStringLiteral("CNS");
    result.unit = QStringLiteral("mmol/l");
    result.value = 4.25;
    result.time = QDateTime(QDate(2026, 12, 8), QTime(10, 15, 30), QTimeZone(3600));
    result.analyzer = QStringLiteral("TF-00417");
    return result;
}

const ReportIdentity kIdentity{QStringLiteral("TarvoCollect"), QStringLiteral("ICU-3"),
                               QStringLiteral("ENGINE"), QStringLiteral("HOSPITAL")};
const QDateTime kCreated(QDate(2026, 12, 8), QTime(10, 16, 0), QTimeZone(3600));

struct MessageCase {
    const char* what;
    std::function<void(StoredResult&)> change;
    std::map<QString, QString> fields;
    // Set: the message of an event with this text, of the result's patient, time and analyzer.
    const char* eventText = nullptr;
};

} // namespace

TEST(ObservationMessageTest, EachResultBecomesOneObservationMessage) {
    const std::vector<MessageCase> cases = {
        {"a patient's glucose: the header, the patient, the sample and the value",
         [](StoredResult&) {},
         {{"MSH-2", "^~\\&"},
          {"MSH-3", "TarvoCollect"},
          {"MSH-4", "ICU-3"},
          {"MSH-5", "ENGINE"},
          {"MSH-6", "HOSPITAL"},
          {"MSH-7", "20261208101600+0100"},
          {"MSH-9", "ORU^R01^ORU_R01"},
          {"MSH-10", "1765185360000001"},
          {"MSH-11", "P"},
          {"MSH-12", "2.6"},
          {"MSH-15", "AL"},
          {"MSH-16", "NE"},
          {"MSH-21.1", "IHE_PCD_001"},
          {"PID-3", "P1^^^^PI"},
          {"PID-5", "Berg^Asa^^^^^L"},
          {"OBR-1", "1"},
          {"OBR-7", "20261208101530+0100"},
          {"OBX-1", "1"},
          {"OBX-2", "NM"},
          {"OBX-3", "GLU-CNS-CONC^Glucose CNS concentration^99TVO"},
          {"OBX-5", "4.25"},
          {"OBX-6", "mmol/L^mmol/L^UCUM"},
          {"OBX-8", ""},
          {"OBX-11", "F"},
          {"OBX-14", "20261208101530+0100"},
          {"OBX-18", "TF-00417^Tarvo"},
          {"OBX-20", "CNS"}}},
        {"an event: its text in an ST observation at its time, from its analyzer",
         [](StoredResult& r) {
             r.time = QDateTime(QDate(2026, 12, 8), QTime(9, 40, 0), QTimeZone(3600));
             r.analyzer = QStringLiteral("10.1.2.3");
         },
         {{"MSH-9", "ORU^R01^ORU_R01"},
          {"PID-3", "P1^^^^PI"},
          {"PID-5", "Berg^Asa^^^^^L"},
          {"OBR-7", "20261208094000+0100"},
          {"OBX-1", "1"},
          {"OBX-2", "ST"},
          {"OBX-3", "EVENT^Event^99TVO"},
          {"OBX-4", "1.1.1.1"},
          {"OBX-5", "Catheter moved \\S\\ 2 cm\\F\\ flushed"},
          {"OBX-6", ""},
          {"OBX-8", ""},
          {"OBX-11", "F"},
          {"OBX-14", "20261208094000+0100"},
          {"OBX-18", "10.1.2.3^Tarvo"},
          {"OBX-20", ""}},
         "Catheter moved ^ 2 cm| flushed"},
        {"an analyzer the collector does not know leaves the equipment empty",
         [](StoredResult& r) { r.analyzer = QString(); },
         {{"OBX-18", ""}, {"OBX-20", "CNS"}}},
        {"an analyzer's identity is escaped like every text",
         [](StoredResult& r) { r.analyzer = QStringLiteral("TF|9^1"); },
         {{"OBX-18", "TF\\F\\9\\S\\1^Tarvo"}}},
        {"micromoles in any spelling are umol/L, a catheter site keeps its letters and digits",
         [](StoredResult& r) {
             r.parameter = QStringLiteral("Glutamate");
             r.unit = QStringLiteral("\u00b5mol/l");
             r.place = QStringLiteral("Cath 2");
             r.value = 226.0874;
         },
         {{"OBX-3.1", "GLT-CATH2-CONC"}, {"OBX-5", "226.0874"}, {"OBX-6.1", "umol/L"}}},
        {"the line protocols' molar units",
         [](StoredResult& r) { r.unit = QStringLiteral("\u00b5M"); },
         {{"OBX-6", "umol/L^umol/L^UCUM"}}},
        {"millimolar as the line protocols write it",
         [](StoredResult& r) { r.unit = QStringLiteral("mM"); },
         {{"OBX-6.1", "mmol/L"}}},
        {"a ratio has no unit and its own kind",
         [](StoredResult& r) {
             r.parameter = QStringLiteral("LPRatio");
             r.unit = QString();
             r.value = 25;
         },
         {{"OBX-3.1", "LPR-CNS-RATIO"}, {"OBX-5", "25"}, {"OBX-6.1", "1"}}},
        {"a control is coded as one",
         [](StoredResult& r) {
             r.kind = StoredResult::Kind::Control;
             r.patientId = QStringLiteral("AutoControl");
             r.place = QStringLiteral("Low");
             r.parameter = QStringLiteral("Lactate");
         },
         {{"OBX-3.1", "LAC-LOW-QC"},
          {"OBX-3.2", "Lactate Low control"},
          {"PID-3.1", "AutoControl"}}},
        {"a calibration is coded as one",
         [](StoredResult& r) { r.kind = StoredResult::Kind::Calibration; },
         {{"OBX-3.1", "GLU-CNS-CAL"}}},
        {"delimiters in names and IDs are escaped, control characters become blanks",
         [](StoredResult& r) {
             r.patientId = QStringLiteral("12|34^5");
             r.lastName = QStringLiteral("O'Brien & Son~\\");
             r.firstName = QStringLiteral("Ann\rEve");
         },
         {{"PID-3.1", "12\\F\\34\\S\\5"},
          {"PID-5.1", "O'Brien \\T\\ Son\\R\\\\E\\"},
          {"PID-5.2", "Ann Eve"},
          {"OBX-1", "1"}}},
        {"a value below the detection limit is flagged, a small one keeps its digits",
         [](StoredResult& r) {
             r.status = 1;
             r.value = 0.00001;
         },
         {{"OBX-8", "<"}, {"OBX-5", "0.000010"}}},
        {"a value above the range is flagged",
         [](StoredResult& r) { r.status = 4; },
         {{"OBX-8", ">"}}},
        {"an analyte the table does not know keeps its own name, a place-less value says so",
         [](StoredResult& r) {
             r.parameter = QStringLiteral("Nitrite-2");
             r.place = QString();
         },
         {{"OBX-3.1", "NITRITE2-NOSITE-CONC"}}},
        {"a time west of Greenwich",
         [](StoredResult& r) {
             r.time = QDateTime(QDate(2026, 7, 1), QTime(23, 5, 0), QTimeZone(-5 * 3600 - 1800));
         },
         {{"OBX-14", "20260701230500-0530"}, {"OBR-7", "20260701230500-0530"}}},
    };
    for (const MessageCase& test : cases) {
        StoredResult result = glucose();
        test.change(result);
        const QString controlId = QStringLiteral("1765185360000001");
        const QByteArray message =
            test.eventText
                ? EventMessage({result.patientId, result.lastName, result.firstName,
                                QString::fromUtf8(test.eventText), result.time, result.analyzer},
                               kIdentity, controlId, kCreated)
                : ObservationMessage(result, kIdentity, controlId, kCreated);
        ASSERT_TRUE(message.startsWith("MSH|")) << test.what;
        EXPECT_TRUE(message.endsWith('\r')) << test.what;
        EXPECT_FALSE(message.contains('\n')) << test.what;
        EXPECT_EQ(QString::fromUtf8(message).split(u'\r', Qt::SkipEmptyParts).size(), 5)
            << test.what;
        for (const auto& [place, expected] : test.fields)
            EXPECT_EQ(field(message, place), expected) << test.what << ": " << place.toStdString();
    }
}

TEST(ObservationMessageTest, AValueThatIsNoNumberMakesNoMessage) {
    for (const double value :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        StoredResult result = glucose();
        result.value = value;
        EXPECT_TRUE(ObservationMessage(result, kIdentity, QStringLiteral("1"), kCreated).isEmpty());
    }
}

TEST(ObservationMessageTest, AnAnswerSaysWhatTheEngineDid) {
    struct AnswerCase {
        const char* what;
        QByteArray answer;
        bool valid;
        const char* code;
        const char* controlId;
        const char* text;
        bool accepted;
    };
    const std::vector<AnswerCase> cases = {
        {"accepted", "MSH|^~\\&|E|H|T|I|20261208||ACK^R01^ACK|9|P|2.6\rMSA|AA|17\r", true, "AA",
         "17", "", true},
        {"an error with the engine's text in MSA-3 and ERR",
         "MSH|^~\\&|E|H|T|I|20261208||ACK|9|P|2.6\rMSA|AE|18|bad value\rERR||OBX^1^5|102^Data type "
         "error^HL70357|E||||Value not numeric\r",
         true, "AE", "18", "bad value; Value not numeric", false},
        {"rejected, segments ended by LF", "MSH|^~\\&|E\nMSA|AR|19\n", true, "AR", "19", "", false},
        {"another field separator", "MSH#^~\\&#E\rMSA#CA#20\r", true, "CA", "20", "", true},
        {"no MSA", "MSH|^~\\&|E|H\r", false, "", "", "", false},
        {"not HL7 at all", "\x01\x02garbage", false, "", "", "", false},
    };
    for (const AnswerCase& test : cases) {
        const Acknowledgement ack = ReadAcknowledgement(test.answer);
        EXPECT_EQ(ack.valid, test.valid) << test.what;
        EXPECT_EQ(ack.code, QLatin1String(test.code)) << test.what;
        EXPECT_EQ(ack.controlId, QLatin1String(test.controlId)) << test.what;
        EXPECT_EQ(ack.text, QLatin1String(test.text)) << test.what;
        EXPECT_EQ(ack.accepted(), test.accepted) << test.what;
    }
}
