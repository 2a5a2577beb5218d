// Appended records built in place must hold exactly the bytes the object-stream writer gives
// them, whatever their texts, and read back as the point they were built from.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "PointRecord.h"
#include "StoredFileParser.h"
#include "StoredFileTags.h"
#include "TSaveItNew.h"

namespace {

QByteArray bytesOf(const PointRecord& record) {
    return QByteArray(record.data(), record.size());
}

} // namespace

TEST(PointRecord, HoldsTheWritersBytesAndReadsBack) {
    struct Case {
        const char* name;
        qint16 index;
        TAnalyseResult status;
        qint32 attempt;
        QString vial;
        QString statusText;
        double value;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Case> cases = {
        {"plain texts", 0, TAnalyseResult::arNormal, 1, "V12", "OK", 4.25},
        {"empty texts", 3, TAnalyseResult::arNormal, 0, "", "", 0.0},
        {"null texts", 1, TAnalyseResult::arNormal, 0, QString(), QString(), 1.0},
        {"code page letters", 2, TAnalyseResult::arNormal, 7, QString::fromUtf8("Vä1"),
         QString::fromUtf8("µmol/l Ö"), -1.5},
        {"beyond the code page", 4, TAnalyseResult::arNormal, 2, QString::fromUtf8("Ω€"),
         QString::fromUtf8("a😀b"), 1e300},
        {"control characters and DEL", 5, TAnalyseResult::arNormal, 3, "\t\x7f", "\r\n", -0.0},
        {"long texts beyond the inline room", 6, TAnalyseResult::arNormal, 9, QString(300, u'v'),
         QString(500, u's') + QString::fromUtf8("é"), nan},
        {"negative numbers", -1, TAnalyseResult(255), -5, "V", "x", -1e-300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const double time = 46364.5 + c.index;
        const PointRecord record =
            PointRecord::point(c.index, c.status, c.attempt, c.vial, c.statusText, c.value, time);
        EXPECT_EQ(bytesOf(record),
                  TSaveItNew::BuildPointRecord(c.index, c.status, c.attempt, c.vial, c.statusText,
                                               c.value, time));
        const QByteArray payload = bytesOf(record).mid(8);
        qint16 index = 0;
        TSeriesPoint point;
        ASSERT_TRUE(
            StoredFileParser::parsePoint(StoredTag::ResultPoint, payload, true, index, point));
        EXPECT_EQ(index, c.index);
        const auto* data = std::get_if<TTarvoDataPoint>(&point);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->AttemptNo, c.attempt);
        EXPECT_EQ(data->X, time);
        if (std::isnan(c.value))
            EXPECT_TRUE(std::isnan(data->Y));
        else
            EXPECT_EQ(data->Y, c.value);
    }
}

TEST(PointRecord, SeriesBreakHoldsTheWritersBytes) {
    for (const qint16 index : {qint16(0), qint16(7), qint16(-1), qint16(32767)}) {
        SCOPED_TRACE(index);
        const double time = 46364.5 + index / 1440.0;
        EXPECT_EQ(bytesOf(PointRecord::serieBreak(index, time)),
                  TSaveItNew::BuildSerieBreakRecord(index, time));
    }
}
