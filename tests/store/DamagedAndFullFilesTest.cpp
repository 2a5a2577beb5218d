// Patient data files on a full disk and with damaged records: nothing stored is destroyed, and
// storing goes on.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include "FailingFileLayer.h"
#include "FileBytes.h"
#include "PatientDataFile.h"
#include "SmallTmpfs.h"
#include "StoredFileParser.h"
#include "TSaveItNew.h"

namespace {

using Step = FailingFileLayer::Step;
constexpr double kNoon = 46364.5; // 2026-12-08 12:00
const QString kId = QStringLiteral("1912");
const QString kName = QStringLiteral("Åsa Öberg");

QStringList dataFiles(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("*")}, QDir::Files | QDir::Hidden);
}

int pointCount(const QString& path) {
    const TStoredFileContent content = StoredFileParser::parseTolerant(readFile(path));
    int count = 0;
    for (const TParameterSerie* serie : content.series())
        count += serie->Points ? int(serie->Points->Points.size()) : 0;
    return count;
}

// Opens the patient's file, adds the series when it is new, appends one value. False (with
// the reason in failure) when it could not be stored.
bool storeValue(TSaveItNew& writer, const QString& folder, const QString& parameter, double value,
                QString* failure = nullptr, QStringList* notices = nullptr) {
    TPatientDataFileOpening opening = OpenPatientDataFile(writer, folder, kName, kId);
    if (notices)
        *notices << opening.notices;
    if (!opening.opened) {
        if (failure)
            *failure = opening.failures.join(u'\n');
        return false;
    }
    try {
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
        if (!writer.AppendPoint(index, TAnalyseResult::arNormal, 1, QStringLiteral("V12"),
                                QStringLiteral("OK"), value, kNoon + value / 100)) {
            if (failure)
                *failure = writer.LastError();
            return false;
        }
    } catch (const std::exception& error) {
        if (failure)
            *failure = QString::fromLocal8Bit(error.what());
        return false;
    }
    return true;
}

struct Record {
    qint64 offset;
    QByteArray bytes;
};

// A file of 20 points (two series) and where each point record lies in it.
struct TwentyPoints {
    QByteArray file;
    std::vector<Record> points;

    explicit TwentyPoints(const QString& folder) {
        QDir().mkpath(folder);
        TSaveItNew writer;
        for (int i = 0; i < 20; ++i) {
            QString failure;
            EXPECT_TRUE(storeValue(writer, folder,
                                   i % 2 ? QStringLiteral("Lactate") : QStringLiteral("Glucose"),
                                   1.0 + i, &failure))
                << failure.toStdString();
        }
        file = readFile(folder + QStringLiteral("Tarvo.pil"));
        const TStoredFileContent content = StoredFileParser::parse(file);
        for (const TParameterSerie* serie : content.series()) {
            for (const TSeriesPoint& point : serie->Points->Points) {
                const qint64 offset = std::get<TTarvoDataPoint>(point).RecordOffset;
                const qint32 size = qFromLittleEndian<qint32>(file.constData() + offset + 4);
                points.push_back({offset, file.mid(offset, 8 + size)});
            }
        }
        std::sort(points.begin(), points.end(),
                  [](const Record& a, const Record& b) { return a.offset < b.offset; });
    }

    int intactIn(const QByteArray& data) const {
        int intact = 0;
        for (const Record& record : points)
            intact += data.mid(record.offset, record.bytes.size()) == record.bytes ? 1 : 0;
        return intact;
    }
};

} // namespace

TEST(DamagedDataFile, ADamagedLengthAtAnyRecordDestroysNoPointAfterIt) {
    QTemporaryDir dir;
    const TwentyPoints original(dir.path() + QStringLiteral("/original/"));
    ASSERT_EQ(original.points.size(), 20u);
    ASSERT_EQ(original.intactIn(original.file), 20);

    struct Damage {
        const char* name;
        qint32 (*size)(qint32);
    };
    const Damage damages[] = {
        {"huge",
         [](qint32) {
             return qint32(0x7FFFFF00);
         }},
        {"one more in the second byte",
         [](qint32 size) {
             return size + 256;
         }},
        {"smaller",
         [](qint32) {
             return qint32(10);
         }},
        {"negative",
         [](qint32 size) {
             return size | qint32(0x80000000);
         }},
    };
    int folders = 0;
    for (const Damage& damage : damages) {
        for (std::size_t k = 0; k < original.points.size(); ++k) {
            const QString where = QStringLiteral("%1 at record %2").arg(damage.name).arg(k);
            const QString folder = dir.path() + QStringLiteral("/case%1/").arg(++folders);
            QDir().mkpath(folder);
            QByteArray damaged = original.file;
            const qint64 sizeAt = original.points[k].offset + 4;
            qToLittleEndian<qint32>(
                damage.size(qFromLittleEndian<qint32>(damaged.constData() + sizeAt)),
                damaged.data() + sizeAt);
            writeFile(folder + QStringLiteral("Tarvo.pil"), damaged);
            ASSERT_EQ(original.intactIn(damaged), 19) << where.toStdString();

            TSaveItNew restarted;
            QString failure;
            QStringList notices;
            ASSERT_TRUE(
                storeValue(restarted, folder, QStringLiteral("Glucose"), 99.0, &failure, &notices))
                << where.toStdString() << ": " << failure.toStdString();
            const QByteArray after = readFile(folder + QStringLiteral("Tarvo.pil"));
            EXPECT_EQ(original.intactIn(after), 19) << where.toStdString();

            const bool last = k + 1 == original.points.size();
            const bool claimsMore = damage.size(original.points[k].bytes.size() - 8) >
                                    original.points[k].bytes.size() - 8;
            if (last && claimsMore) {
                // A record cut short at the very end: removed, and the new point follows.
                EXPECT_EQ(after.left(original.points[k].offset),
                          original.file.left(original.points[k].offset));
                EXPECT_EQ(pointCount(folder + QStringLiteral("Tarvo.pil")), 20)
                    << where.toStdString();
                EXPECT_FALSE(QFile::exists(folder + QStringLiteral("Tarvo1.pil")));
            } else if (after == damaged) {
                // Damage in the middle: the file is left as it is and the value goes on in the
                // next file, with a line for the log.
                EXPECT_EQ(pointCount(folder + QStringLiteral("Tarvo1.pil")), 1)
                    << where.toStdString();
                ASSERT_FALSE(notices.isEmpty()) << where.toStdString();
                EXPECT_TRUE(notices.join(u'\n').contains(folder + QStringLiteral("Tarvo.pil")));
            } else {
                // The damage still left the records in step: the value is only appended.
                EXPECT_EQ(after.left(damaged.size()), damaged) << where.toStdString();
                EXPECT_FALSE(QFile::exists(folder + QStringLiteral("Tarvo1.pil")));
            }
        }
    }
}

TEST(DamagedDataFile, ADamagedFileIsReportedOnceWhileItStaysAsItIs) {
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/P/");
    const TwentyPoints original(folder);
    QByteArray damaged = original.file;
    qToLittleEndian<qint32>(0x7FFFFF00, damaged.data() + original.points[3].offset + 4);
    writeFile(folder + QStringLiteral("Tarvo.pil"), damaged);

    TSaveItNew writer;
    QStringList notices;
    ASSERT_TRUE(storeValue(writer, folder, QStringLiteral("Glucose"), 50.0, nullptr, &notices));
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains(QStringLiteral("damaged"))) << notices[0].toStdString();
    notices.clear();
    ASSERT_TRUE(storeValue(writer, folder, QStringLiteral("Glucose"), 51.0, nullptr, &notices));
    EXPECT_TRUE(notices.isEmpty());
    EXPECT_EQ(readFile(folder + QStringLiteral("Tarvo.pil")), damaged);
    EXPECT_EQ(pointCount(folder + QStringLiteral("Tarvo1.pil")), 2);
}

TEST(DamagedDataFile, ADamagedHeaderOrSeriesDefinitionIsReported) {
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/P/");
    const TwentyPoints original(folder);
    const qint64 header = original.file.indexOf("Analysis Save File Header");
    const qint64 serie = original.file.indexOf("Lactate");
    ASSERT_GT(header, 0);
    ASSERT_GT(serie, 0);
    // A letter of the header text; the size of the index record of the second series.
    for (const qint64 at : {header, serie - 20}) {
        QByteArray damaged = original.file;
        damaged[at] = char(damaged[at] ^ 0x01);
        writeFile(folder + QStringLiteral("Tarvo.pil"), damaged);
        QFile::remove(folder + QStringLiteral("Tarvo1.pil"));
        TSaveItNew writer;
        QStringList notices;
        QString failure;
        ASSERT_TRUE(storeValue(writer, folder, QStringLiteral("Glucose"), 50.0, &failure, &notices))
            << failure.toStdString();
        ASSERT_FALSE(notices.isEmpty()) << at;
        EXPECT_TRUE(notices[0].startsWith(folder + QStringLiteral("Tarvo.pil cannot be used")))
            << notices[0].toStdString();
        EXPECT_EQ(readFile(folder + QStringLiteral("Tarvo.pil")), damaged);
    }
}

TEST(FullDisk, AFailedWriteKeepsThePatientFileWhole) {
    for (const Step step :
         {Step::Write, Step::ShortWrite, Step::LostWrite, Step::Flush, Step::Commit}) {
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/P/");
        const TwentyPoints original(folder);
        {
            FailingFileLayer layer(step);
            TSaveItNew writer;
            QString failure;
            // A new analyte adds a series definition: the file is rewritten.
            EXPECT_FALSE(storeValue(writer, folder, QStringLiteral("Pyruvate"), 7.0, &failure));
            EXPECT_TRUE(failure.contains(folder + QStringLiteral("Tarvo.pil")))
                << failure.toStdString();
        }
        EXPECT_EQ(readFile(folder + QStringLiteral("Tarvo.pil")), original.file) << int(step);
        EXPECT_EQ(dataFiles(folder), QStringList{QStringLiteral("Tarvo.pil")}) << int(step);
        TSaveItNew writer;
        EXPECT_TRUE(storeValue(writer, folder, QStringLiteral("Pyruvate"), 7.0));
        EXPECT_EQ(pointCount(folder + QStringLiteral("Tarvo.pil")), 21);
    }
}

TEST(FullDisk, AFileThatCannotBeCreatedLeavesNothingAndStoringRecovers) {
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/P/");
    QDir().mkpath(folder);
    TSaveItNew writer;
    {
        FailingFileLayer layer(Step::LostWrite);
        for (int value = 0; value < 3; ++value) {
            QString failure;
            EXPECT_FALSE(storeValue(writer, folder, QStringLiteral("Glucose"), value, &failure));
            EXPECT_TRUE(failure.contains(QStringLiteral("Tarvo.pil"))) << failure.toStdString();
        }
        EXPECT_EQ(layer.calls, 3) << "no further names are tried once a file cannot be created";
    }
    EXPECT_TRUE(dataFiles(folder).isEmpty());
    EXPECT_TRUE(storeValue(writer, folder, QStringLiteral("Glucose"), 5.0));
    EXPECT_EQ(dataFiles(folder), QStringList{QStringLiteral("Tarvo.pil")});
}

TEST(FullDisk, AnEmptyDataFileCountsAsAbsent) {
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/P/");
    QDir().mkpath(folder);
    // What earlier failed creations left.
    writeFile(folder + QStringLiteral("Tarvo.pil"), {});
    writeFile(folder + QStringLiteral("Tarvo1.pil"), {});
    TSaveItNew writer;
    ASSERT_TRUE(storeValue(writer, folder, QStringLiteral("Glucose"), 5.0));
    EXPECT_EQ(pointCount(folder + QStringLiteral("Tarvo.pil")), 1);
    EXPECT_TRUE(readFile(folder + QStringLiteral("Tarvo1.pil")).isEmpty());
}

TEST(FullDisk, ARealFullFileSystemDestroysNothingAndStoringRecovers) {
    SmallTmpfs disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.whyNot().toStdString();
    const QString folder = disk.path() + QStringLiteral("/P/");
    const TwentyPoints original(folder);
    const QString newcomer = disk.path() + QStringLiteral("/NEW/");
    QDir().mkpath(newcomer);
    disk.fill();

    TSaveItNew writer;
    QString failure;
    // A new analyte rewrites the file: no room for the new file.
    EXPECT_FALSE(storeValue(writer, folder, QStringLiteral("Pyruvate"), 7.0, &failure));
    EXPECT_EQ(readFile(folder + QStringLiteral("Tarvo.pil")), original.file);
    // A point may still fit into the file's last block; if not, the file stays as it was.
    const bool appended = storeValue(writer, folder, QStringLiteral("Glucose"), 8.0, &failure);
    const QByteArray after = readFile(folder + QStringLiteral("Tarvo.pil"));
    EXPECT_EQ(after.left(original.file.size()), original.file);
    EXPECT_EQ(after.size(),
              original.file.size() + (appended ? original.points[0].bytes.size() : 0));
    EXPECT_EQ(dataFiles(folder), QStringList{QStringLiteral("Tarvo.pil")});
    EXPECT_FALSE(storeValue(writer, newcomer, QStringLiteral("Glucose"), 1.0, &failure));
    EXPECT_TRUE(dataFiles(newcomer).isEmpty());

    disk.release();
    EXPECT_TRUE(storeValue(writer, folder, QStringLiteral("Pyruvate"), 7.0, &failure))
        << failure.toStdString();
    EXPECT_EQ(pointCount(folder + QStringLiteral("Tarvo.pil")), appended ? 22 : 21);
    TSaveItNew restarted;
    EXPECT_TRUE(storeValue(restarted, newcomer, QStringLiteral("Glucose"), 1.0, &failure))
        << failure.toStdString();
    EXPECT_EQ(dataFiles(newcomer), QStringList{QStringLiteral("Tarvo.pil")});
}

TEST(FullDisk, TheEventsFileStaysWholeWhenItCannotBeRewritten) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("TarvoEvents.pil"));
    TSaveItNew events;
    events.SetFileName(path);
    events.FileType = TZelFileType::ftSingleEventSerie;
    events.EventSerie = std::make_unique<TEventSerie>();
    events.EventSerie->Points.emplace_back(kNoon, QStringLiteral("Catheter moved"));
    events.SaveSingle();
    const QByteArray before = readFile(path);
    events.EventSerie->Points.emplace_back(kNoon + 0.1, QStringLiteral("Pump changed"));
    {
        FailingFileLayer full(Step::LostWrite);
        EXPECT_THROW(events.SaveSingle(), EZelError);
    }
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(dataFiles(dir.path()), QStringList{QStringLiteral("TarvoEvents.pil")});
}
