// Record lines as analyzers send them, through the framing into the parser, result processing
// and the patient files; the relay queue they feed in the full-relay protocol.
#include <gtest/gtest.h>

#include <map>

#include <QFile>

#include "DecimalSeparator.h"
#include "FailingFileLayer.h"
#include "IOrvanta_TLB.h"
#include "LineFraming.h"
#include "LineProtocolParser.h"
#include "LineRecord.h"
#include "OleDateTime.h"
#include "ProcessingHarness.h"
#include "StoredFileParser.h"
#include "StoredPoints.h"
#include "TRelayList.h"
#include "TSimpleCounter.h"

namespace {

const QByteArray kHeader = "H|\\^~&|||TARVOflex^SN123||||||||1.0|20100423105919\r";

QByteArray patientRecord(const QByteArray& id, const QByteArray& names = "Berg^Asa") {
    return "P|||" + id + "||" + names + "\r";
}

QByteArray order(const QByteArray& sample, const QByteArray& time = "20100423105743",
                 const QByteArray& location = "MD Sample^II") {
    return "O|||" + sample + "||||" + time + "||||||||" + location + "\r";
}

QByteArray result(const QByteArray& test, const QByteArray& value, const QByteArray& unit = "mM",
                  const QByteArray& time = "20100423105743", const QByteArray& status = "OK") {
    return "R||^^^" + test + "^|" + value + "|" + unit + "||||" + status + "|||" + time + "\r";
}

class LineParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        h.state.protocol = AnalyzerProtocol::Hl7;
        h.state.logFolder = h.root.driveC("TEMP/");
        QDir().mkpath(h.state.logFolder);
    }

    // The bytes as one read of an analyzer connection, then the line handler.
    void receive(const QByteArray& bytes, const QString& source = QStringLiteral("A")) {
        LineFraming::Cut cut = framings[source].append(bytes);
        parser.ProcessLineHL7(source, cut.lines);
    }

    std::vector<StoredPoint> points(const QString& id) const {
        return storedPoints(h.folderOf(id) + "Tarvo.pil");
    }

    static QDateTime timeOf(const StoredPoint& point) {
        return OleDateTime::toDateTime(point.time);
    }

    ProcessingHarness h;
    int linkReports = 0;
    TRelayList queue;
    TSimpleCounter counter{20};
    int relayTimerStarts = 0;
    LineProtocolParser parser{LineParserContext{h.state, h.log, h.processor, h.writer, h.clock,
                                                [this] { ++linkReports; }, &queue, &counter,
                                                [this] {
                                                    ++relayTimerStarts;
                                                }}};
    std::map<QString, LineFraming> framings;
};

} // namespace

TEST_F(LineParserTest, PatientResultsAreStoredWithTheFieldsOfTheirLines) {
    receive(kHeader + patientRecord("12-34.56,7", "Berg^Asa") + order("Sample #^A1") +
            result("Pyruvate", "226,0874", "\xC2\xB5M", "20100423105743") +
            result(" Glucose ", "4.5", "mM", "20100423110500") +
            order("Sample #^A2", "201004231130") +
            result("Lactate", "n/a", "mM", "20100423113301") + "L|1|N\r\x04");
    EXPECT_EQ(linkReports, 1);
    EXPECT_EQ(parser.PatientId(), "1234567");
    const auto stored = points("1234567");
    ASSERT_EQ(stored.size(), 2u) << "a value that is not a number is not stored";
    const StoredPoint& pyruvate = stored[0];
    EXPECT_EQ(pyruvate.parameter, "Pyruvate");
    EXPECT_EQ(pyruvate.place, "II");
    EXPECT_EQ(pyruvate.unit, QStringLiteral("µM")) << "the UTF-8 lead byte is dropped";
    EXPECT_DOUBLE_EQ(pyruvate.value, 226.0874);
    EXPECT_EQ(pyruvate.vialId, "A1");
    EXPECT_EQ(pyruvate.attemptNo, 1);
    EXPECT_EQ(pyruvate.statusText, "OK");
    EXPECT_EQ(timeOf(pyruvate), QDateTime(QDate(2010, 4, 23), QTime(10, 57, 43)))
        << "the first result after the header gives the time";
    const StoredPoint& glucose = stored[1];
    EXPECT_EQ(glucose.parameter, "Glucose") << "test names are trimmed";
    EXPECT_EQ(timeOf(glucose), timeOf(pyruvate)) << "later results of the order keep its time";
    EXPECT_TRUE(h.log.mainLines().last().contains(
        "Result not stored: the value \"n/a\" of Lactate is not a number (patient 1234567"));
    const int entry = h.patients.IndexOf("1234567");
    ASSERT_GE(entry, 0);
    EXPECT_EQ(h.patients.At(entry).Patient.LastName, "Berg");
    EXPECT_EQ(h.patients.At(entry).Patient.FirstName, "Asa");
    EXPECT_EQ(queue.Count(), 0) << "the pass-through protocol builds no relay messages";
    EXPECT_EQ(relayTimerStarts, 0);
}

TEST_F(LineParserTest, ValuesIdsAndTimesOfEveryForm) {
    for (const QChar separator : {QChar(u'.'), QChar(u',')}) {
        EXPECT_DOUBLE_EQ(LineRecord::Value("226,0874", separator).value_or(0), 226.0874)
            << separator.toLatin1();
        EXPECT_DOUBLE_EQ(LineRecord::Value(" 226.0874", separator).value_or(0), 226.0874)
            << separator.toLatin1();
        for (const char* text : {"", "n/a", "nan", "inf", "-inf", "1.2.3", "1.234,5", "1e999"})
            EXPECT_EQ(LineRecord::Value(text, separator), std::nullopt)
                << text << " with " << separator.toLatin1();
    }
    EXPECT_EQ(LineRecord::CleanPatientId("12-34.56,7"), "1234567");
    EXPECT_EQ(LineRecord::CleanPatientId("1-2-3"), "12-3") << "one of each";
    EXPECT_EQ(LineRecord::CleanPatientId(""), "NULL");
    EXPECT_EQ(LineRecord::Part("a|b||d", u'|', 4), "d");
    EXPECT_EQ(LineRecord::Part("a|b||d", u'|', 3), "");
    EXPECT_EQ(LineRecord::Part("a|b||d", u'|', 9), "");

    // With the other separator in use the values come out the same.
    DecimalSeparator::set(u',');
    receive(kHeader + patientRecord("") + order("Sample #^A1") + result("Glucose", "1.5") + "\x04" +
            kHeader + patientRecord("P7") + result("Glucose", "2,5", "mM", "2010042310") + "\x04");
    DecimalSeparator::set(u'.');
    EXPECT_EQ(parser.PatientId(), "P7");
    EXPECT_FALSE(QDir(h.folderOf("NULL")).exists()) << "an empty ID names no patient";
    const auto stored = points("P7");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_DOUBLE_EQ(stored[0].value, 2.5);
    EXPECT_EQ(timeOf(stored[0]), h.clock.now()) << "a result time that is too short is now";

    // An ID that cannot name a folder leaves the rest of the batch alone.
    receive(kHeader + patientRecord("CON") + order("Sample #^A1") + result("Glucose", "1") +
            "\x04" + kHeader + patientRecord("P9") + order("Sample #^A1") + result("Glucose", "1") +
            "\x04");
    EXPECT_EQ(points("P9").size(), 1u);
    EXPECT_FALSE(QDir(h.folderOf("CON")).exists());

    // An order time that does not convert is now, and the next result gives the time.
    receive(patientRecord("P8") + order("Sample #^A1", "2010-04-23") +
            result("Glucose", "3", "mM", "20100501120000") + "\x04");
    const auto later = points("P8");
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(timeOf(later[0]), QDateTime(QDate(2010, 5, 1), QTime(12, 0)));
}

TEST_F(LineParserTest, ControlsAndCalibrationsBecomeSeriesOfTheAnalyzersPseudoPatients) {
    receive(kHeader + patientRecord("P1") +
            order("QC #^AutoControlHigh", "20100423105743", "MD Sample^Vial7") +
            result("Glucose", "6.1") + "\x04" + kHeader + patientRecord("P1") +
            order("CAL #^Level1", "20100423105743", "MD Sample^Slot2^B") + result("Glucose", "5") +
            "\x04");
    const auto controls = points("SN123QC");
    ASSERT_EQ(controls.size(), 1u);
    EXPECT_EQ(controls[0].parameter, "Glucose");
    EXPECT_EQ(controls[0].place, "Elevated");
    EXPECT_EQ(controls[0].vialId, "Vial7");
    int entry = h.patients.IndexOf("SN123QC");
    ASSERT_GE(entry, 0);
    EXPECT_EQ(h.patients.At(entry).Patient.LastName, "AutoControl");

    const auto calibrations = points("SN123CAL");
    ASSERT_EQ(calibrations.size(), 1u);
    EXPECT_EQ(calibrations[0].parameter, "Glucose Calib");
    EXPECT_EQ(calibrations[0].place, "Level1");
    EXPECT_EQ(calibrations[0].vialId, "Slot2^B");
    entry = h.patients.IndexOf("SN123CAL");
    ASSERT_GE(entry, 0);
    EXPECT_EQ(h.patients.At(entry).Patient.LastName, "Calibration");
    EXPECT_TRUE(points("P1").empty());

    // A message without a patient record stays with the pseudo-patient.
    receive(order("Sample #^A9") + result("Lactate", "2") + "\x04");
    EXPECT_EQ(parser.PatientId(), "SN123 CAL");
    EXPECT_EQ(countOf(points("SN123CAL"), "Lactate"), 1);
}

TEST_F(LineParserTest, EventMessagesWriteTheEventsFileAtTheirEnd) {
    h.state.protocol = AnalyzerProtocol::AstmE1381;
    receive("H|\\^~&|||TARVOflex^SN123||||||EventText|1.0|20100423105919\r" +
            patientRecord("E1", "Berg^Asa") + order("Sample #^A1") +
            result("EventItem", "Catheter moved", "", "20100423101500") +
            result("EventItem", "Pump changed", "", "20100423") + "L|1|N\r\x04");
    EXPECT_TRUE(parser.EventList().empty());
    QFile file(h.folderOf("E1") + "TarvoEvents.pil");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const TStoredFileContent content = StoredFileParser::parse(file.readAll());
    ASSERT_NE(content.eventSerie(), nullptr);
    ASSERT_EQ(content.eventSerie()->Points.size(), 2u);
    EXPECT_EQ(content.eventSerie()->Points[0].Text, "Catheter moved");
    EXPECT_EQ(OleDateTime::toDateTime(content.eventSerie()->Points[0].X),
              QDateTime(QDate(2010, 4, 23), QTime(10, 15)));
    EXPECT_EQ(OleDateTime::toDateTime(content.eventSerie()->Points[1].X), h.clock.now());
    EXPECT_EQ(content.patientId, "E1");
    EXPECT_TRUE(points("E1").empty()) << "event items are no results";
    // An event message is not relayed, not even its L record.
    EXPECT_EQ(queue.Count(), 0);
    receive(kHeader + patientRecord("E1") + order("Sample #^A1") + result("Glucose", "4") +
            "L|1|N\r\x04");
    ASSERT_EQ(queue.Count(), 3) << "the next message is relayed whole";
    EXPECT_TRUE(queue.Entry(1).startsWith("\x02"
                                          "1H|"));
}

TEST_F(LineParserTest, FullRelayQueuesEveryMessageOfTheBatch) {
    h.state.protocol = AnalyzerProtocol::AstmE1381;
    counter.Advance(); // the raw copy of the read was "Message0.txt"
    receive(kHeader + patientRecord("P1") + order("Sample #^A1") + result("Glucose", "4") +
            "L|1|N\r\x04" + kHeader + patientRecord("P2") + order("Sample #^A1") +
            result("Glucose", "5") + "\x04");
    EXPECT_EQ(points("P1").size(), 1u);
    EXPECT_EQ(points("P2").size(), 1u) << "both messages of one batch, in order";
    ASSERT_EQ(queue.Count(), 6);
    const QByteArray text = "H|\\^&|||TARVOflex^SN123||||||||1.0|20100423105919\r"
                            "P|1||P1||Berg^Asa\r"
                            "O|1||Sample #^A1||||20100423105743||||||||MD Sample^II\r"
                            "R|1|^^^Glucose^|4|mM||||OK|||20100423105743\r"
                            "L|1|N\r";
    EXPECT_EQ(queue.Entry(0), "\x05");
    EXPECT_EQ(queue.Entry(1), "\x02"
                              "1" +
                                  text + "\x03\r\n");
    EXPECT_EQ(queue.Entry(2), "\x04");
    EXPECT_TRUE(queue.Entry(4).contains("R|1|^^^Glucose^|5|mM||||OK|||20100423105743\rL|1|N\r\x03"))
        << "a message without a closing record gets one";
    EXPECT_EQ(relayTimerStarts, 1);
    QFile copy(h.state.logFolder + "RelayMessage0.txt");
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly)) << "numbered like the raw copy of the read";
    EXPECT_TRUE(copy.readAll().startsWith("\x05\r\n\x02"
                                          "1H|"));
    EXPECT_EQ(counter.Value(), 1);
}

TEST_F(LineParserTest, StateCarriesOverToTheNextBatch) {
    receive("H!\\^~&!!!TARVOflex^SN9!!!!!!!!1.0!20100423105919\r"
            "P!!!K1!!Lind^Eva\rO!!!Sample #^A1!!!!201004231000!!!!!!!!MD Sample^IV\r"
            "R!!^^^Glucose^!4!mM!!!!OK!!!20100423100000\r\x04");
    receive("O!!!Sample #^A2!!!!201004231100!!!!!!!!MD Sample^IV\r"
            "R!!^^^Glucose^!5!mM!!!!OK!!!20100423100000\r\x04");
    const auto stored = points("K1");
    ASSERT_EQ(stored.size(), 2u) << "the delimiters and the patient of the earlier batch";
    EXPECT_EQ(stored[1].vialId, "A2");
    EXPECT_EQ(stored[1].place, "IV");
    EXPECT_EQ(timeOf(stored[1]), QDateTime(QDate(2010, 4, 23), QTime(11, 0)));
}

TEST_F(LineParserTest, EachSourceKeepsItsOwnStateAndPatient) {
    // Two analyzers' messages arrive in pieces that interleave; each has its own delimiters and
    // patient, carried over to its own next message only.
    const QByteArray first = "H!\\^~&!!!TARVOflex^SN1!!!!!!!!1.0!20100423105919\r"
                             "P!!!A1!!Lind^Eva\rO!!!Sample #^A1!!!!201004231000\r"
                             "R!!^^^Glucose^!4!mM!!!!OK!!!20100423100000\r\x04";
    const QByteArray second =
        kHeader + patientRecord("B1") + order("Sample #^B1") + result("Lactate", "2") + "\x04";
    for (qsizetype at = 0; at < std::max(first.size(), second.size()); at += 7) {
        receive(first.mid(at, 7), "A");
        receive(second.mid(at, 7), "B");
    }
    // Messages without a header or a patient record continue each source's own.
    receive("O!!!Sample #^A2!!!!201004231100\rR!!^^^Glucose^!5!mM!!!!OK\r\x04", "A");
    receive(order("Sample #^B2") + result("Lactate", "3") + "\x04", "B");
    EXPECT_EQ(countOf(points("A1"), "Glucose"), 2);
    EXPECT_EQ(countOf(points("B1"), "Lactate"), 2);
    EXPECT_TRUE(points("A1").size() == 2 && points("B1").size() == 2) << "nothing crossed over";
    EXPECT_EQ(parser.Sources(), 2);
    parser.ProcessLineHL7(QStringLiteral("A"), {});
    std::deque<LineBatch> closed{LineBatch{QStringLiteral("A"), {}, true}};
    parser.ProcessLineHL7(closed);
    EXPECT_EQ(parser.Sources(), 1) << "the state of a source that has gone is dropped";
}

TEST_F(LineParserTest, AFailureCostsOnlyItsMessage) {
    // The patients' data files exist; the disk is full when the new "Failing" series needs its
    // definition written.
    for (const QByteArray id : {"F1", "F3", "F5"})
        receive(kHeader + patientRecord(id) + order("Sample #^A1") + result("Glucose", "1") +
                "\x04");
    const FailingFileLayer fullDisk(FailingFileLayer::Step::Write, QStringLiteral("Tarvo.pil"));
    h.state.protocol = AnalyzerProtocol::AstmE1381;
    receive(kHeader + patientRecord("F1") + order("Sample #^A1") + result("Failing", "1") +
            result("Glucose", "2") + "\x04" + kHeader + patientRecord("F3") + order("Sample #^A1") +
            result("Glucose", "3") + "\x04");
    const QString failing =
        QStringLiteral("TheOriginalLine = R||^^^Failing^|1|mM||||OK|||20100423105743 at line 3");
    const QStringList main = h.log.mainLines();
    const QStringList exceptions = main.filter(" - Exception in ProcessLineHL7. Exception = ");
    ASSERT_EQ(exceptions.size(), 1);
    const QString exception = exceptions.first();
    EXPECT_TRUE(exception.contains("Exception = Could not write ") && exception.endsWith(failing))
        << exception.toStdString();
    const QString failedFile = h.state.logFolder + "FailedLineMessages.txt";
    EXPECT_EQ(main.filter("The message from A (6 lines) was not stored; its lines were written "
                          "to " +
                          failedFile)
                  .size(),
              1);
    const QString expected = exception.mid(exception.indexOf(" - ") + 3);
    const QStringList extended = h.log.extendedLines();
    qsizetype at = 0;
    while (at < extended.size() && !extended[at].endsWith(expected))
        ++at;
    ASSERT_LE(at + 6, extended.size());
    EXPECT_TRUE(extended[at + 1].endsWith(" - TheLines list start"));
    EXPECT_TRUE(
        extended[at + 2].endsWith(" - Line i=0-" + QString::fromLatin1(kHeader.chopped(1))));
    EXPECT_TRUE(extended[at + 5].endsWith(" - Line i=3-R||^^^Failing^|1|mM||||OK|||"
                                          "20100423105743"));
    EXPECT_TRUE(extended[at + 6].endsWith(" - TheLines list stop"));
    QFile failed(failedFile);
    ASSERT_TRUE(failed.open(QIODevice::ReadOnly));
    const QByteArray kept = failed.readAll();
    EXPECT_TRUE(kept.contains("R||^^^Failing^|1|mM") && kept.contains("R||^^^Glucose^|2|mM") &&
                !kept.contains("P|||F3"))
        << "the failed message whole, and nothing else";
    EXPECT_EQ(points("F1").size(), 1u) << "the rest of the failed message is not stored";
    EXPECT_EQ(points("F3").size(), 2u) << "the next message of the read is stored";
    ASSERT_EQ(queue.Count(), 3) << "only the next message is relayed, whole";
    EXPECT_TRUE(queue.Entry(1).contains("P|1||F3"));

    // The events of a failed message do not end up in the next message's file.
    receive(kHeader + patientRecord("F3") + order("Sample #^A1") +
            result("EventItem", "Lost", "", "20100423101500") + result("Failing", "3") + "\x04");
    EXPECT_TRUE(parser.EventList().empty());
    receive("H|\\^~&|||TARVOflex^SN123||||||EventText|1.0|20100423105919\r" + patientRecord("F4") +
            result("EventItem", "Kept", "", "20100423101500") + "\x04");
    QFile file(h.folderOf("F4") + "TarvoEvents.pil");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const TStoredFileContent content = StoredFileParser::parse(file.readAll());
    ASSERT_NE(content.eventSerie(), nullptr);
    ASSERT_EQ(content.eventSerie()->Points.size(), 1u);
    EXPECT_EQ(content.eventSerie()->Points[0].Text, "Kept");

    // What is queued stays queued, however long the queue.
    const qsizetype queued = queue.Count();
    receive(kHeader + patientRecord("F5") + order("Sample #^A1") + result("Failing", "1") + "\x04");
    EXPECT_EQ(queue.Count(), queued);
}
