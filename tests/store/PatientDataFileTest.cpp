#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "ByteBuilder.h"
#include "FileBytes.h"
#include "PatientDataFile.h"
#include "StoredFileParser.h"
#include "StoredFileTags.h"
#include "TSaveItNew.h"

namespace {

const QByteArray kHeader20 = "Keldamed Analysis Save File Header 2.0";
constexpr double kNoon = 46364.5; // 2026-12-08 12:00

std::vector<TTarvoDataPoint> dataPoints(const TParameterSerie& serie) {
    std::vector<TTarvoDataPoint> points;
    if (serie.Points) {
        for (const TSeriesPoint& point : serie.Points->Points) {
            if (const auto* data = std::get_if<TTarvoDataPoint>(&point))
                points.push_back(*data);
        }
    }
    return points;
}

class PatientDataFileTest : public ::testing::Test {
protected:
    QString folder() const { return dir.path() + "/P1/"; }
    QString tarvo(const QString& suffix = {}) const { return folder() + "Tarvo" + suffix + ".pil"; }

    void SetUp() override { QDir().mkpath(folder()); }

    TPatientDataFileOpening open(TSaveItNew& writer, const QString& id = QStringLiteral("1912"),
                                 const QString& name = QStringLiteral("Åsa Öberg")) {
        return OpenPatientDataFile(writer, folder(), name, id);
    }

    // Opens the patient's file, adds the series when it is new, appends one value.
    void store(TSaveItNew& writer, const QString& parameter, double value, double time,
               const QString& id = QStringLiteral("1912")) {
        TPatientDataFileOpening opening = open(writer, id);
        ASSERT_TRUE(opening.opened);
        qint16 index = -1;
        for (const TParameterSerie& serie : opening.CurrentSeries) {
            if (serie.Identity.ParameterName() == parameter)
                index = serie.Index;
        }
        if (index < 0) {
            index = qint16(opening.CurrentSeries.size());
            writer.RegisterSerie(index, parameter, QStringLiteral("CNS"), QString(),
                                 QStringLiteral("OstraSubstance1"), QStringLiteral("mM"));
        }
        ASSERT_TRUE(writer.AppendPoint(index, TAnalyseResult::arNormal, 1, QStringLiteral("V12"),
                                       QStringLiteral("OK"), value, time))
            << writer.LastError().toStdString();
    }

    TStoredFileContent reread(const QString& path) const {
        return StoredFileParser::parse(readFile(path));
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(PatientDataFileTest, NewFileLayout) {
    TSaveItNew writer;
    QStringList created;
    writer.OnFileStructureChanged = [&](const QString& name) {
        created << name;
    };
    const TPatientDataFileOpening opening = open(writer);
    ASSERT_TRUE(opening.opened);
    EXPECT_EQ(opening.fileName, tarvo());
    EXPECT_EQ(created, QStringList{tarvo()});

    const QByteArray expectedContent = ByteBuilder()
                                           .i32(9)
                                           .i32(42)
                                           .i32(1)
                                           .raw(kHeader20)
                                           .i32(3)
                                           .i32(24)
                                           .i32(2)
                                           .i32(4)
                                           .i32(8)
                                           .i32(30)
                                           .i32(4)
                                           .i32(0)
                                           .i32(200)
                                           .i32(4 * 12 + 5 + 0 + 4 + 9)
                                           .i32(201)
                                           .str("Tarvo")
                                           .i32(202)
                                           .str("")
                                           .i32(203)
                                           .str("1912")
                                           .i32(204)
                                           .str("\xC5sa \xD6"
                                                "berg")
                                           .i32(205)
                                           .i32(500)
                                           .raw(QByteArray(500, '\0'));
    const QByteArray expected =
        ByteBuilder().i32(1).i32(expectedContent.size()).raw(expectedContent);
    EXPECT_EQ(readFile(tarvo()), expected);
}

TEST_F(PatientDataFileTest, FirstSeriesTakesReservedSpaceAndKeepsTheLength) {
    TSaveItNew writer;
    ASSERT_TRUE(open(writer).opened);
    const QByteArray before = readFile(tarvo());
    writer.RegisterSerie(0, QStringLiteral("Glucose"), QStringLiteral("CNS"), QString(),
                         QStringLiteral("OstraSubstance1"), QStringLiteral("mM"));
    const QByteArray after = readFile(tarvo());
    const QByteArray record =
        TSaveItNew::BuildSerieRecord(0, QStringLiteral("Glucose"), QStringLiteral("CNS"), QString(),
                                     QStringLiteral("OstraSubstance1"), QStringLiteral("mM"));
    EXPECT_EQ(after.size(), before.size());
    const qsizetype reservedAt = before.indexOf(ByteBuilder().i32(205).i32(500).bytes());
    ASSERT_GT(reservedAt, 0);
    EXPECT_EQ(after.mid(reservedAt, record.size()), record);
    EXPECT_EQ(after.mid(reservedAt + record.size(), 8),
              ByteBuilder().i32(205).i32(500 - qint32(record.size())).bytes());

    const TStoredFileContent content = reread(tarvo());
    ASSERT_EQ(content.series().size(), 1u);
    const TParameterSerie& serie = *content.series()[0];
    EXPECT_EQ(serie.Identity.ParameterName(), "Glucose");
    EXPECT_EQ(serie.Identity.MeasurementPlace(), "CNS");
    EXPECT_EQ(serie.Identity.ParameterID(), "OstraSubstance1");
    EXPECT_EQ(serie.Unit, "mM");
}

TEST_F(PatientDataFileTest, PointRecordLayout) {
    const QByteArray record = TSaveItNew::BuildPointRecord(
        0, TAnalyseResult::arNormal, 1, QStringLiteral("V12"), QStringLiteral("OK"), 2.5, kNoon);
    const QByteArray expected =
        ByteBuilder().i32(222).i32(44).i16(0).f64(kNoon).f64(2.5).u8(0).str("OK").str("V12").i32(1);
    EXPECT_EQ(record, expected);
    EXPECT_EQ(TSaveItNew::BuildSerieBreakRecord(3, kNoon),
              ByteBuilder().i32(85).i32(18).i16(3).f64(kNoon).f64(0.0).bytes());
}

TEST_F(PatientDataFileTest, PointsAndBreaksReadBackIntoTheirSeries) {
    TSaveItNew writer;
    store(writer, QStringLiteral("Glucose"), 2.5, kNoon);
    store(writer, QStringLiteral("Lactate"), 1.25, kNoon);
    store(writer, QStringLiteral("Glucose"), 2.5, kNoon); // the same result twice: stored twice
    ASSERT_TRUE(writer.AppendSerieBreak(0, kNoon + 1.0 / 86400));
    ASSERT_TRUE(writer.AppendPoint(1, TAnalyseResult::arOverLinearityInterval, 2,
                                   QStringLiteral("A12/A13"), QStringLiteral("Over range"), 9.5,
                                   kNoon + 0.5));

    for (const TStoredFileContent& content : {reread(tarvo())}) {
        EXPECT_TRUE(content.problems.empty());
        ASSERT_EQ(content.series().size(), 2u);
        const TParameterSerie& glucose = *content.series()[0];
        ASSERT_TRUE(glucose.Points);
        ASSERT_EQ(glucose.Points->Points.size(), 3u);
        EXPECT_EQ(dataPoints(glucose).size(), 2u);
        const auto* pause = std::get_if<TRecordDelimiterPoint>(&glucose.Points->Points[2]);
        ASSERT_NE(pause, nullptr);
        EXPECT_DOUBLE_EQ(pause->X, kNoon + 1.0 / 86400);

        const std::vector<TTarvoDataPoint> lactate = dataPoints(*content.series()[1]);
        ASSERT_EQ(lactate.size(), 2u);
        EXPECT_DOUBLE_EQ(lactate[0].Y, 1.25);
        EXPECT_EQ(lactate[0].VialID, "V12");
        EXPECT_EQ(lactate[0].AnalyseResultString, "OK");
        EXPECT_EQ(lactate[1].AnalyseResult, quint8(TAnalyseResult::arOverLinearityInterval));
        EXPECT_EQ(lactate[1].AnalyseResultString, "Over range");
        EXPECT_EQ(lactate[1].VialID, "A12/A13");
        EXPECT_EQ(lactate[1].AttemptNo, 2);
        EXPECT_DOUBLE_EQ(lactate[1].X, kNoon + 0.5);
    }
}

TEST_F(PatientDataFileTest, ExhaustedReservedSpaceIsRenewedAndPointsStayInOrder) {
    TSaveItNew writer;
    const QStringList parameters = {"Glucose",   "Lactate", "Pyruvate", "Glycerol",
                                    "Glutamate", "Urea",    "LPRatio",  "LGRatio"};
    double time = kNoon;
    for (const QString& parameter : parameters) {
        store(writer, parameter, 1.0, time);
        time += 0.01;
    }
    const TStoredFileContent content = reread(tarvo());
    EXPECT_TRUE(content.problems.empty());
    ASSERT_EQ(content.series().size(), std::size_t(parameters.size()));
    for (int i = 0; i < parameters.size(); ++i) {
        EXPECT_EQ(content.series()[i]->Identity.ParameterName(), parameters[i]);
        EXPECT_EQ(content.series()[i]->Index, i);
        EXPECT_EQ(dataPoints(*content.series()[i]).size(), 1u) << parameters[i].toStdString();
    }
    // Eight series do not fit into 500 bytes: the space was renewed on the way, and the
    // renewed space is at least as large as what stands before it.
    EXPECT_GE(content.reservedSize + 8 * 100, content.reservedOffset);
    std::vector<qint64> offsets;
    for (const TParameterSerie* serie : content.series())
        offsets.push_back(dataPoints(*serie)[0].RecordOffset);
    EXPECT_TRUE(std::is_sorted(offsets.begin(), offsets.end())) << "points keep their order";
}

TEST_F(PatientDataFileTest, RenewalSizeFollowsTheReservedRecordsPosition) {
    TSaveItNew writer;
    writer.MinimumReservedSpaceForMonitorParameters = 60; // exhausted by the first series
    ASSERT_TRUE(open(writer).opened);
    const qint64 reservedAt = reread(tarvo()).reservedOffset;
    ASSERT_TRUE(writer.AppendPoint(5, TAnalyseResult::arNormal, 1, "V1", "OK", 1.0, kNoon));
    writer.RegisterSerie(0, QStringLiteral("Glucose"), QStringLiteral("CNS"), QString(),
                         QStringLiteral("OstraSubstance1"), QStringLiteral("mM"));
    const QByteArray bytes = readFile(tarvo());
    const qint64 recordLength =
        TSaveItNew::BuildSerieRecord(0, QStringLiteral("Glucose"), QStringLiteral("CNS"), QString(),
                                     QStringLiteral("OstraSubstance1"), QStringLiteral("mM"))
            .size();
    EXPECT_EQ(bytes.mid(reservedAt + recordLength, 8),
              ByteBuilder().i32(205).i32(qint32(std::max<qint64>(60, reservedAt))).bytes());
    const TStoredFileContent content = reread(tarvo());
    ASSERT_EQ(content.problems.size(), 1u) << "the point of series 5 has no series";
    EXPECT_EQ(content.problems[0].kind, TFileProblem::Kind::PointForMissingSerie);
}

TEST_F(PatientDataFileTest, AnotherPatientsFileSendsTheValueToTarvo1) {
    TSaveItNew writer;
    store(writer, QStringLiteral("Glucose"), 1.0, kNoon, QStringLiteral("OTHER"));
    const TPatientDataFileOpening opening = open(writer, QStringLiteral("1912"));
    ASSERT_TRUE(opening.opened);
    EXPECT_EQ(opening.fileName, tarvo("1"));
    EXPECT_TRUE(opening.CurrentSeries.empty());
    EXPECT_TRUE(QFileInfo::exists(tarvo("1")));
    EXPECT_EQ(reread(tarvo()).monitors()[0]->PatientID, "OTHER") << "the other file is untouched";
}

TEST_F(PatientDataFileTest, MismatchReportNamesStoredAndGivenValues) {
    TSaveItNew writer;
    ASSERT_TRUE(open(writer, QStringLiteral("OTHER"), QStringLiteral("Per Persson")).opened);
    TSaveItNew checker;
    checker.SetFileName(tarvo());
    try {
        checker.OpenMonitorFile(QStringLiteral("Tarvo"), QString(), true,
                                QStringLiteral("Åsa Öberg"), QStringLiteral("1912"));
        FAIL();
    } catch (const EZelError& error) {
        EXPECT_EQ(QString::fromStdString(error.what()),
                  QStringLiteral("Exception:The existing file does not match!\r\n"
                                 "Tarvo - Tarvo\r\n - \r\nOTHER - 1912\r\n"
                                 "Per Persson - Åsa Öberg"));
    }
}

TEST_F(PatientDataFileTest, IndexGapMovesOnToTheNextFile) {
    TSaveItNew writer;
    ASSERT_TRUE(open(writer).opened);
    writer.RegisterSerie(0, QStringLiteral("Glucose"), QString(), QString(), QString(), "mM");
    writer.RegisterSerie(2, QStringLiteral("Lactate"), QString(), QString(), QString(), "mM");
    const TPatientDataFileOpening opening = open(writer);
    ASSERT_TRUE(opening.opened);
    EXPECT_EQ(opening.fileName, tarvo("1"));
    ASSERT_FALSE(opening.failures.isEmpty());
    EXPECT_TRUE(opening.failures.first().endsWith(
        QStringLiteral("There is something rutten in the state of Index")));
}

TEST_F(PatientDataFileTest, FileOfAnotherMonitorIsNotUsed) {
    writeFile(tarvo(), TSaveItNew::BuildMonitorFile(QStringLiteral("Other"), QString(),
                                                    QStringLiteral("1912"),
                                                    QStringLiteral("Åsa Öberg"), 500));
    TSaveItNew writer;
    const TPatientDataFileOpening opening = open(writer);
    EXPECT_EQ(opening.fileName, tarvo("1"));
}

TEST_F(PatientDataFileTest, WhenNoFileCanBeUsedNothingIsAppended) {
    const QString blocked = dir.path() + "/blocked/";
    QDir().mkpath(blocked);
    for (int n = 0; n < 100; ++n) {
        const QString name =
            blocked + (n == 0 ? QStringLiteral("Tarvo.pil") : QStringLiteral("Tarvo%1.pil").arg(n));
        writeFile(name,
                  TSaveItNew::BuildMonitorFile(QStringLiteral("Tarvo"), QString(),
                                               QStringLiteral("SOMEONE ELSE"), QString(), 500));
    }
    const QByteArray before = readFile(blocked + "Tarvo99.pil");
    TSaveItNew writer;
    const TPatientDataFileOpening opening =
        OpenPatientDataFile(writer, blocked, QStringLiteral("Åsa Öberg"), QStringLiteral("1912"));
    EXPECT_FALSE(opening.opened);
    EXPECT_EQ(opening.failures.size(), 100);
    EXPECT_TRUE(writer.FileName().isEmpty());
    EXPECT_FALSE(writer.AppendPoint(0, TAnalyseResult::arNormal, 1, "V1", "OK", 1.0, kNoon));
    EXPECT_FALSE(writer.LastError().isEmpty());
    EXPECT_EQ(readFile(blocked + "Tarvo99.pil"), before);
}

TEST_F(PatientDataFileTest, RecordCutShortAtTheEndIsReportedAndReplacedByTheNextValue) {
    TSaveItNew writer;
    store(writer, QStringLiteral("Glucose"), 1.0, kNoon);
    store(writer, QStringLiteral("Glucose"), 2.0, kNoon + 0.1);
    const QByteArray complete = readFile(tarvo());
    writeFile(tarvo(), complete + TSaveItNew::BuildPointRecord(0, TAnalyseResult::arNormal, 1, "V3",
                                                               "OK", 3.0, kNoon + 0.2)
                                      .left(20));

    TSaveItNew restarted; // a new run of the program
    const TPatientDataFileOpening opening = open(restarted);
    ASSERT_TRUE(opening.opened);
    EXPECT_EQ(opening.fileName, tarvo());
    ASSERT_EQ(opening.notices.size(), 1);
    EXPECT_TRUE(opening.notices[0].contains(QStringLiteral("cut short")));
    EXPECT_EQ(dataPoints(*restarted.Content().series()[0]).size(), 2u);

    ASSERT_TRUE(
        restarted.AppendPoint(0, TAnalyseResult::arNormal, 1, "V4", "OK", 4.0, kNoon + 0.3));
    const TStoredFileContent content = reread(tarvo());
    EXPECT_TRUE(content.problems.empty());
    const std::vector<TTarvoDataPoint> points = dataPoints(*content.series()[0]);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_DOUBLE_EQ(points[2].Y, 4.0);
    EXPECT_EQ(readFile(tarvo()).size(),
              complete.size() + TSaveItNew::BuildPointRecord(0, TAnalyseResult::arNormal, 1, "V4",
                                                             "OK", 4.0, kNoon)
                                    .size());
}

TEST_F(PatientDataFileTest, CutRecordIsAlsoRemovedWhenTheFileWasNotReadFirst) {
    TSaveItNew writer;
    store(writer, QStringLiteral("Glucose"), 1.0, kNoon);
    const QByteArray complete = readFile(tarvo());
    writeFile(tarvo(), complete + QByteArray("\xDE\x00\x00", 3));
    TSaveItNew other;
    other.SetFileName(tarvo());
    ASSERT_TRUE(other.AppendPoint(0, TAnalyseResult::arNormal, 1, "V2", "OK", 2.0, kNoon));
    EXPECT_EQ(dataPoints(*reread(tarvo()).series()[0]).size(), 2u);
}

TEST_F(PatientDataFileTest, DamagedPointRecordIsLeftOutAndReported) {
    TSaveItNew writer;
    store(writer, QStringLiteral("Glucose"), 1.0, kNoon);
    // A point whose vial string claims 2 GB, inside a record of honest size.
    const QByteArray damaged = ByteBuilder()
                                   .i32(222)
                                   .i32(2 + 8 + 8 + 1 + 10 + 8)
                                   .i16(0)
                                   .f64(kNoon)
                                   .f64(5.0)
                                   .u8(0)
                                   .str("OK")
                                   .i32(0x7FFFFFF0)
                                   .i32(1);
    writeFile(tarvo(), readFile(tarvo()) + damaged);
    store(writer, QStringLiteral("Glucose"), 2.0, kNoon);
    const TStoredFileContent content = reread(tarvo());
    ASSERT_EQ(content.problems.size(), 1u);
    EXPECT_EQ(content.problems[0].kind, TFileProblem::Kind::Unreadable);
    EXPECT_EQ(dataPoints(*content.series()[0]).size(), 2u) << "points around it are kept";
}

TEST_F(PatientDataFileTest, FailedAppendIsReportedAndLeavesTheFile) {
    TSaveItNew writer;
    writer.SetFileName(dir.path() + "/missing-folder/Tarvo.pil");
    EXPECT_FALSE(writer.AppendPoint(0, TAnalyseResult::arNormal, 1, "V1", "OK", 1.0, kNoon));
    EXPECT_TRUE(writer.LastError().contains(QStringLiteral("missing-folder")));

    store(writer, QStringLiteral("Glucose"), 1.0, kNoon);
    const QByteArray before = readFile(tarvo());
    QFile::remove(tarvo());
    QDir().mkpath(tarvo()); // a folder where the file was: nothing can be written
    EXPECT_FALSE(writer.AppendPoint(0, TAnalyseResult::arNormal, 1, "V2", "OK", 2.0, kNoon));
    EXPECT_FALSE(writer.LastError().isEmpty());
}

TEST_F(PatientDataFileTest, WritersOfOtherConnectionsSeeEachOthersChanges) {
    TSaveItNew first;
    TSaveItNew second;
    store(first, QStringLiteral("Glucose"), 1.0, kNoon);
    store(second, QStringLiteral("Glucose"), 2.0, kNoon);
    store(second, QStringLiteral("Lactate"), 3.0, kNoon); // same-length rewrite of the file
    const TPatientDataFileOpening opening = open(first);
    ASSERT_EQ(opening.CurrentSeries.size(), 2u);
    EXPECT_EQ(opening.CurrentSeries[1].Identity.ParameterName(), "Lactate");
    store(first, QStringLiteral("Lactate"), 4.0, kNoon);
    const TStoredFileContent content = reread(tarvo());
    ASSERT_EQ(content.series().size(), 2u) << "no series registered twice";
    EXPECT_EQ(dataPoints(*content.series()[0]).size(), 2u);
    EXPECT_EQ(dataPoints(*content.series()[1]).size(), 2u);
    EXPECT_EQ(dataPoints(*first.Content().series()[1]).size(), 2u) << "the cache follows appends";
}

TEST_F(PatientDataFileTest, ASeriesAddedByAnotherWriterWithinOneClockTickIsSeen) {
    const auto setModified = [&](const QDateTime& time) {
        QFile file(tarvo());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(time, QFileDevice::FileModificationTime));
    };
    const QDateTime tick(QDate(2026, 12, 8), QTime(12, 0, 0, 250));
    TSaveItNew first;
    TSaveItNew second;
    store(first, QStringLiteral("Glucose"), 1.0, kNoon);
    setModified(tick);
    ASSERT_TRUE(open(first).opened); // what first holds now carries that time
    ASSERT_TRUE(open(second).opened);
    second.RegisterSerie(1, QStringLiteral("Lactate"), QStringLiteral("CNS"), QString(),
                         QStringLiteral("OstraSubstance2"), QStringLiteral("mM"));
    // The file keeps its length; the file system's clock has not moved on.
    setModified(tick);

    const TPatientDataFileOpening opening = open(first);
    ASSERT_EQ(opening.CurrentSeries.size(), 2u);
    EXPECT_EQ(opening.CurrentSeries[1].Identity.ParameterName(), "Lactate");
}

TEST_F(PatientDataFileTest, EventsFileIsChecksummedAndReadsBack) {
    TSaveItNew writer;
    writer.SetFileName(folder() + "TarvoEvents.pil");
    writer.FileType = TZelFileType::ftSingleEventSerie;
    writer.PatientID = QStringLiteral("1912");
    writer.PatientName = QStringLiteral("Åsa Öberg");
    writer.EventSerie = std::make_unique<TEventSerie>();
    writer.EventSerie->Caption = QStringLiteral("Events");
    writer.EventSerie->Points.emplace_back(kNoon, QStringLiteral("Catheter moved"));
    writer.EventSerie->Points.emplace_back(kNoon + 0.1, QStringLiteral("Sample missed"));
    writer.SaveSingle();

    const QByteArray bytes = readFile(folder() + "TarvoEvents.pil");
    EXPECT_TRUE(bytes.contains("*Keldamed Analysis Save File Header 2.0"));
    TSaveItNew reader;
    QStringList checksumErrors;
    reader.OnChecksumError = [&](const QString& message) {
        checksumErrors << message;
    };
    reader.SetFileName(folder() + "TarvoEvents.pil");
    reader.LoadFile();
    const TStoredFileContent& content = reader.Content();
    EXPECT_TRUE(content.checksums);
    EXPECT_EQ(content.fileKind, qint32(TZelFileType::ftSingleEventSerie));
    EXPECT_EQ(content.patientId, "1912");
    EXPECT_EQ(content.patientName, "Åsa Öberg");
    ASSERT_NE(content.eventSerie(), nullptr);
    EXPECT_EQ(content.eventSerie()->Caption, "Events");
    ASSERT_EQ(content.eventSerie()->Points.size(), 2u);
    EXPECT_EQ(content.eventSerie()->Points[1].Text, "Sample missed");
    EXPECT_TRUE(checksumErrors.isEmpty());

    QByteArray damaged = bytes;
    const qsizetype at = damaged.indexOf("Sample");
    damaged[at] = 'X';
    writeFile(folder() + "TarvoEvents.pil", damaged);
    reader.LoadFile();
    EXPECT_EQ(checksumErrors, QStringList{folder() + "TarvoEvents.pil has a checksum error."});

    writer.IsReadOnly = true;
    try {
        writer.SaveSingle();
        FAIL();
    } catch (const EIsReadOnly& error) {
        EXPECT_STREQ(error.what(), "Read only");
    }
}

TEST_F(PatientDataFileTest, ResetForgetsEverything) {
    TSaveItNew writer;
    store(writer, QStringLiteral("Glucose"), 1.0, kNoon);
    writer.MinimumReservedSpaceForMonitorParameters = 9;
    writer.Reset();
    EXPECT_TRUE(writer.FileName().isEmpty());
    EXPECT_FALSE(writer.IsLoaded());
    EXPECT_EQ(writer.FileType, TZelFileType::ftUnknown);
    EXPECT_EQ(writer.MinimumReservedSpaceForMonitorParameters, 500);
}

TEST_F(PatientDataFileTest, OtherFileKindIsRefused) {
    TSaveItNew events;
    events.SetFileName(tarvo());
    events.FileType = TZelFileType::ftSingleEventSerie;
    events.SaveSingle();
    TSaveItNew writer;
    writer.SetFileName(tarvo());
    try {
        writer.OpenMonitorFile(QStringLiteral("Tarvo"), QString(), false, QString(), "1912");
        FAIL();
    } catch (const EZelError& error) {
        EXPECT_STREQ(error.what(), "Exception:Incorrect filetype");
    }
}

TEST_F(PatientDataFileTest, BatchAppendsReachTheDiskWhenTheBatchEnds) {
    TSaveItNew writer;
    writer.KeepPoints = false;
    store(writer, QStringLiteral("Glucose"), 1.0, kNoon);
    const qint64 before = QFileInfo(tarvo()).size();
    writer.BeginBatch();
    store(writer, QStringLiteral("Glucose"), 2.0, kNoon + 0.1);
    store(writer, QStringLiteral("Lactate"), 3.0, kNoon + 0.2); // a new series flushes first
    store(writer, QStringLiteral("Lactate"), 4.0, kNoon + 0.3);
    EXPECT_LT(QFileInfo(tarvo()).size() - before, 3 * 51) << "the last point waits in memory";
    ASSERT_TRUE(writer.EndBatch());
    const TStoredFileContent content = reread(tarvo());
    EXPECT_TRUE(content.problems.empty());
    ASSERT_EQ(content.series().size(), 2u);
    EXPECT_EQ(dataPoints(*content.series()[0]).size(), 2u);
    EXPECT_EQ(dataPoints(*content.series()[1]).size(), 2u);
    EXPECT_DOUBLE_EQ(dataPoints(*content.series()[1])[1].Y, 4.0);
}

TEST_F(PatientDataFileTest, AFailedBatchWriteIsReported) {
    TSaveItNew writer;
    store(writer, QStringLiteral("Glucose"), 1.0, kNoon);
    writer.BeginBatch();
    store(writer, QStringLiteral("Glucose"), 2.0, kNoon);
    QFile::remove(tarvo());
    QDir().mkpath(tarvo()); // nothing can be written there now
    EXPECT_FALSE(writer.EndBatch());
    EXPECT_FALSE(writer.LastError().isEmpty());
}

TEST_F(PatientDataFileTest, OneWriterKeepsSeveralPatientsFilesCurrent) {
    TSaveItNew writer;
    writer.KeepPoints = false;
    TSaveItNew other;
    const QStringList ids = {"A", "B", "C"};
    for (int round = 0; round < 3; ++round) {
        for (const QString& id : ids) {
            const QString folder = dir.path() + u'/' + id + u'/';
            QDir().mkpath(folder);
            for (TSaveItNew* each : {&writer, &other}) {
                TPatientDataFileOpening opening = OpenPatientDataFile(*each, folder, "N", id);
                ASSERT_TRUE(opening.opened);
                if (opening.CurrentSeries.empty())
                    each->RegisterSerie(0, "Glucose", "CNS", QString(), "OstraSubstance1", "mM");
                ASSERT_TRUE(each->AppendPoint(0, TAnalyseResult::arNormal, 1, "V", "OK", round,
                                              kNoon + round));
            }
        }
    }
    for (const QString& id : ids) {
        const TStoredFileContent content = reread(dir.path() + u'/' + id + "/Tarvo.pil");
        ASSERT_EQ(content.series().size(), 1u) << "no series registered twice";
        EXPECT_EQ(dataPoints(*content.series()[0]).size(), 6u);
    }
}
