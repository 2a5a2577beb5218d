// The inspection tool as an engineer runs it, on files of this writer and of other writers.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "ByteBuilder.h"
#include "TMicroWriter.h"
#include "TSaveItNew.h"
#include "ToolRun.h"

namespace {

constexpr double kNoon = 46364.5; // 2026-12-08 12:00

ToolRun tarvoPil(const QStringList& arguments) {
    return runTool(QStringLiteral(TARVO_BIN_DIR "/tarvo-pil"), arguments);
}

QJsonObject dumpOf(const QString& path) {
    const ToolRun run = tarvoPil({QStringLiteral("dump"), path});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.out, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    return document.object();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// A patient data file as another writer of this format lays it out: checksummed version 2.0
// header, the reserved space written before the series, a plain point, a point without status
// text, video records and an unknown record in between.
QByteArray fileOfAnotherWriter() {
    QByteArray data;
    TMicroWriter writer;
    writer.SetStream(&data);
    writer.SetChecksumMode(false);
    writer.WriteHeader();
    writer.BeginFolding(3);
    writer.WriteIntRecord(2, 8);
    writer.WriteIntRecord(30, 0);
    writer.WriteIntRecord(31, 99); // unknown to this reader
    writer.EndFolding();
    writer.BeginFolding(200);
    writer.WriteStringRecord(201, QStringLiteral("Tarvo"));
    writer.WriteStringRecord(202, QString());
    writer.WriteStringRecord(203, QStringLiteral("1912"));
    writer.WriteStringRecord(204, QStringLiteral("Åsa Öberg"));
    writer.EndFolding();
    for (int index = 0; index < 2; ++index) {
        writer.BeginFolding(210);
        writer.WriteIntRecord(211, index);
        writer.WriteStringRecord(212,
                                 index == 0 ? QStringLiteral(" Glucose ") : QStringLiteral("Urea"));
        writer.WriteStringRecord(213, QStringLiteral("CNS"));
        writer.WriteStringRecord(214, QString());
        writer.WriteStringRecord(215, QStringLiteral("mmol/L"));
        writer.EndFolding();
    }
    writer.BeginFolding(205);
    writer.EndFolding();
    writer.CloseStream();
    data += ByteBuilder().i32(220).i32(18).i16(0).f64(kNoon).f64(1.5);
    data += ByteBuilder().i32(230).i32(12).f64(kNoon).i32(7);
    data += ByteBuilder()
                .i32(221)
                .i32(2 + 8 + 8 + 1 + 10 + 4)
                .i16(1)
                .f64(kNoon + 0.25)
                .f64(6.0)
                .u8(2)
                .str("A1")
                .i32(3);
    data += ByteBuilder().i32(4242).i32(3).raw("xyz");
    data += ByteBuilder().i32(85).i32(18).i16(0).f64(kNoon + 0.5).f64(0.0);
    return data;
}

class TarvoPilTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.path() + u'/' + name; }
    QTemporaryDir dir;
};

} // namespace

TEST_F(TarvoPilTest, DumpsWhatThisWriterStored) {
    TSaveItNew writer;
    writer.SetFileName(path("Tarvo.pil"));
    writer.OpenMonitorFile(QStringLiteral("Tarvo"), QString(), false, QStringLiteral("Åsa Öberg"),
                           QStringLiteral("1912"));
    writer.RegisterSerie(0, QStringLiteral("Glucose"), QStringLiteral("CNS"), QString(),
                         QStringLiteral("OstraSubstance1"), QStringLiteral("mM"));
    ASSERT_TRUE(writer.AppendPoint(0, TAnalyseResult::arNormal, 1, "V12", "OK", 2.5, kNoon));
    ASSERT_TRUE(writer.AppendSerieBreak(0, kNoon + 1.0 / 86400));

    const QJsonObject dump = dumpOf(path("Tarvo.pil"));
    EXPECT_EQ(dump["formatVersion"].toString(), "2.0");
    EXPECT_FALSE(dump["checksums"].toBool());
    EXPECT_EQ(dump["fileKind"].toObject()["name"].toString(), "ftMonitorData");
    const QJsonObject monitor = dump["monitorInformation"].toArray()[0].toObject();
    EXPECT_EQ(monitor["monitorName"].toString(), "Tarvo");
    EXPECT_EQ(monitor["patientName"].toString(), QStringLiteral("Åsa Öberg"));
    const QJsonObject serie = dump["series"].toArray()[0].toObject();
    EXPECT_EQ(serie["parameterName"].toString(), "Glucose");
    EXPECT_EQ(serie["parameterId"].toString(), "OstraSubstance1");
    EXPECT_EQ(serie["unit"].toString(), "mM");
    const QJsonObject point = serie["points"].toArray()[0].toObject();
    EXPECT_EQ(point["time"].toString(), "2026-12-08T12:00:00.000");
    EXPECT_EQ(point["value"].toDouble(), 2.5);
    EXPECT_EQ(point["statusText"].toString(), "OK");
    EXPECT_EQ(point["vial"].toString(), "V12");
    EXPECT_EQ(point["attempt"].toInt(), 1);
    EXPECT_EQ(serie["breaks"].toArray()[0].toObject()["time"].toString(),
              "2026-12-08T12:00:01.000");
    EXPECT_TRUE(dump["problems"].toArray().isEmpty());

    const ToolRun check = tarvoPil({QStringLiteral("check"), path("Tarvo.pil")});
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_TRUE(check.out.contains("no problems found"));
}

TEST_F(TarvoPilTest, ReadsFilesOfOtherWriters) {
    writeFile(path("other.pil"), fileOfAnotherWriter());
    const QJsonObject dump = dumpOf(path("other.pil"));
    const QJsonArray series = dump["series"].toArray();
    ASSERT_EQ(series.size(), 2);
    EXPECT_EQ(series[0].toObject()["parameterName"].toString(), "Glucose") << "trimmed";
    const QJsonArray glucose = series[0].toObject()["points"].toArray();
    ASSERT_EQ(glucose.size(), 1);
    EXPECT_EQ(glucose[0].toObject()["value"].toDouble(), 1.5);
    EXPECT_EQ(series[0].toObject()["breaks"].toArray().size(), 1);
    const QJsonObject urea = series[1].toObject()["points"].toArray()[0].toObject();
    EXPECT_EQ(urea["value"].toDouble(), 6.0);
    EXPECT_EQ(urea["status"].toInt(), 2);
    EXPECT_EQ(urea["vial"].toString(), "A1");
    EXPECT_EQ(urea["attempt"].toInt(), 3);
    EXPECT_EQ(urea["time"].toString(), "2026-12-08T18:00:00.000");
    EXPECT_TRUE(dump["problems"].toArray().isEmpty());
}

TEST_F(TarvoPilTest, CheckListsTheProblemsOfADamagedFile) {
    QByteArray data = fileOfAnotherWriter();
    data +=
        ByteBuilder().i32(222).i32(44).i16(7).f64(kNoon).f64(1.0).u8(0).str("OK").str("V12").i32(1);
    data += ByteBuilder().i32(222).i32(44).i16(0).f64(kNoon).bytes(); // cut short
    writeFile(path("damaged.pil"), data);
    const ToolRun check = tarvoPil({QStringLiteral("check"), path("damaged.pil")});
    EXPECT_EQ(check.exitCode, 1);
    EXPECT_TRUE(check.out.contains("point for a missing series")) << check.out.toStdString();
    EXPECT_TRUE(check.out.contains("truncated record")) << check.out.toStdString();

    const QJsonObject dump = dumpOf(path("damaged.pil"));
    EXPECT_EQ(dump["problems"].toArray().size(), 2);
    EXPECT_EQ(dump["series"].toArray()[1].toObject()["points"].toArray().size(), 1)
        << "complete points are still shown";
}

TEST_F(TarvoPilTest, ChecksumMismatchAndUnreadableFiles) {
    TSaveItNew events;
    events.SetFileName(path("TarvoEvents.pil"));
    events.FileType = TZelFileType::ftSingleEventSerie;
    events.EventSerie = std::make_unique<TEventSerie>();
    events.EventSerie->Caption = QStringLiteral("Events");
    events.EventSerie->Points.emplace_back(kNoon, QStringLiteral("Catheter moved"));
    events.SaveSingle();
    QFile file(path("TarvoEvents.pil"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray data = file.readAll();
    file.close();
    const QJsonObject dump = dumpOf(path("TarvoEvents.pil"));
    EXPECT_EQ(dump["events"].toObject()["points"].toArray()[0].toObject()["text"].toString(),
              "Catheter moved");

    data[data.indexOf("Catheter")] = 'K';
    writeFile(path("TarvoEvents.pil"), data);
    const ToolRun check = tarvoPil({QStringLiteral("check"), path("TarvoEvents.pil")});
    EXPECT_EQ(check.exitCode, 1);
    EXPECT_TRUE(check.out.contains("checksum mismatch"));

    writeFile(path("text.pil"), "this is no stored file at all");
    const ToolRun unreadable = tarvoPil({QStringLiteral("check"), path("text.pil")});
    EXPECT_EQ(unreadable.exitCode, 1);
    EXPECT_TRUE(unreadable.out.contains("unreadable"));

    const ToolRun missing = tarvoPil({QStringLiteral("dump"), path("nothing.pil")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains("cannot read"));
    EXPECT_EQ(tarvoPil({QStringLiteral("list")}).exitCode, 2);
}

TEST_F(TarvoPilTest, CheckReportsASecondRootRecord) {
    const QByteArray monitorFile = TSaveItNew::BuildMonitorFile(
        QStringLiteral("Tarvo"), QString(), QStringLiteral("1912"), QStringLiteral("Åsa"), 500);
    writeFile(path("twice.pil"), monitorFile + monitorFile);
    const ToolRun check = tarvoPil({QStringLiteral("check"), path("twice.pil")});
    EXPECT_EQ(check.exitCode, 1);
    EXPECT_TRUE(
        check.out.contains(QStringLiteral("byte %1: unexpected record: a second root record")
                               .arg(monitorFile.size())
                               .toUtf8()))
        << check.out.toStdString();

    TSaveItNew events;
    events.SetFileName(path("TarvoEvents.pil"));
    events.FileType = TZelFileType::ftSingleEventSerie;
    events.EventSerie = std::make_unique<TEventSerie>();
    events.SaveSingle();
    QFile file(path("TarvoEvents.pil"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray eventsFile = file.readAll();
    file.close();
    writeFile(path("TarvoEvents.pil"), eventsFile + eventsFile);
    const ToolRun checksummed = tarvoPil({QStringLiteral("check"), path("TarvoEvents.pil")});
    EXPECT_EQ(checksummed.exitCode, 1);
    EXPECT_TRUE(checksummed.out.contains("unexpected record")) << checksummed.out.toStdString();
    EXPECT_TRUE(checksummed.out.contains("after the end of the root folding"));
}
