#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "PatientTrendSeries.h"
#include "SeriesFileWriter.h"

namespace {

class PatientTrendSeriesTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    SeriesFileWriter file{dir.path() + QStringLiteral("/1912/")};
    const QDateTime now{QDate(2026, 3, 14), QTime(15, 0)};

    static double ms(const QDateTime& time) { return double(time.toMSecsSinceEpoch()); }

    const TrendLine* find(const std::vector<TrendLine>& lines, const QString& parameter,
                          const QString& place = QStringLiteral("CNS")) {
        for (const TrendLine& line : lines)
            if (line.parameter == parameter && line.place == place)
                return &line;
        return nullptr;
    }
};

} // namespace

TEST_F(PatientTrendSeriesTest, TheLastDayHoldsOnlyItsPointsWithUnitsInTheLabels) {
    ASSERT_TRUE(file.store("Glucose", "CNS", "mM", 1.0, now.addSecs(-30 * 3600))); // too old
    ASSERT_TRUE(file.store("Glucose", "CNS", "mM", 2.0, now.addSecs(-23 * 3600)));
    ASSERT_TRUE(file.store("Lactate", "CNS", "mM", 3.5, now.addSecs(-2 * 3600)));
    ASSERT_TRUE(file.store("Glucose", "CNS", "mM", 2.5, now.addSecs(-3600)));
    ASSERT_TRUE(file.store("LPRatio", "CNS", "", 25.0, now.addSecs(-3600)));
    ASSERT_TRUE(file.store("Urea", "CNS", "mM", 7.0, now.addSecs(-3600)));  // not a trend value
    ASSERT_TRUE(file.store("Glucose", "CNS", "mM", 9.0, now.addSecs(600))); // after now

    PatientTrendSeries series(file.fileName());
    ASSERT_TRUE(series.refresh());
    EXPECT_EQ(series.problem(), QString());
    const std::vector<TrendLine> lines = series.lastDay(now);
    ASSERT_EQ(lines.size(), 3u);
    // In the order of the trend parameters, whatever the order in the file.
    EXPECT_EQ(lines[0].parameter, QStringLiteral("Glucose"));
    EXPECT_EQ(lines[1].parameter, QStringLiteral("Lactate"));
    EXPECT_EQ(lines[2].parameter, QStringLiteral("LPRatio"));
    EXPECT_EQ(lines[0].label, QStringLiteral("Glucose CNS (mM)"));
    EXPECT_EQ(lines[0].unit, QStringLiteral("mM"));
    EXPECT_EQ(lines[2].label, QStringLiteral("L/P ratio CNS"));

    const TrendLine* glucose = find(lines, "Glucose");
    ASSERT_NE(glucose, nullptr);
    ASSERT_EQ(glucose->segments.size(), 1u);
    ASSERT_EQ(glucose->pointCount(), 2);
    EXPECT_EQ(glucose->segments[0][0], QPointF(ms(now.addSecs(-23 * 3600)), 2.0));
    EXPECT_EQ(glucose->segments[0][1], QPointF(ms(now.addSecs(-3600)), 2.5));

    // An earlier window holds the older point and not the newer ones.
    const std::vector<TrendLine> earlier =
        series.linesBetween(now.addSecs(-31 * 3600), now.addSecs(-29 * 3600));
    ASSERT_EQ(earlier.size(), 1u);
    EXPECT_EQ(earlier[0].segments[0], QList<QPointF>{QPointF(ms(now.addSecs(-30 * 3600)), 1.0)});
}

TEST_F(PatientTrendSeriesTest, ASeriesBreakSplitsTheLineAndPlacesAreLinesOfTheirOwn) {
    ASSERT_TRUE(file.store("Glycerol", "CNS", "uM", 40, now.addSecs(-5 * 3600)));
    ASSERT_TRUE(file.store("Glycerol", "CNS", "uM", 42, now.addSecs(-4 * 3600)));
    ASSERT_TRUE(file.storeBreak("Glycerol", "CNS", "uM", now.addSecs(-4 * 3600 + 1)));
    ASSERT_TRUE(file.store("Glycerol", "CNS", "uM", 60, now.addSecs(-3600)));
    ASSERT_TRUE(file.store("Glycerol", "Adipose", "uM", 90, now.addSecs(-3600)));

    PatientTrendSeries series(file.fileName());
    series.refresh();
    const std::vector<TrendLine> lines = series.lastDay(now);
    ASSERT_EQ(lines.size(), 2u);
    const TrendLine* brain = find(lines, "Glycerol");
    ASSERT_NE(brain, nullptr);
    ASSERT_EQ(brain->segments.size(), 2u);
    EXPECT_EQ(brain->segments[0].size(), 2);
    EXPECT_EQ(brain->segments[1].size(), 1);
    const TrendLine* adipose = find(lines, "Glycerol", "Adipose");
    ASSERT_NE(adipose, nullptr);
    EXPECT_EQ(adipose->label, QStringLiteral("Glycerol Adipose (uM)"));
}

TEST_F(PatientTrendSeriesTest, TheFileIsReadAgainOnlyWhenItChanged) {
    ASSERT_TRUE(file.store("Glucose", "CNS", "mM", 2.0, now.addSecs(-3600)));
    PatientTrendSeries series(file.fileName());
    EXPECT_TRUE(series.refresh());
    EXPECT_FALSE(series.refresh());
    EXPECT_FALSE(series.refresh());
    EXPECT_EQ(series.readCount(), 1);

    ASSERT_TRUE(file.store("Glucose", "CNS", "mM", 2.2, now.addSecs(-1800)));
    EXPECT_TRUE(series.refresh());
    EXPECT_EQ(series.readCount(), 2);
    ASSERT_EQ(series.lastDay(now).size(), 1u);
    EXPECT_EQ(series.lastDay(now)[0].pointCount(), 2);

    // A file that disappears is a change too.
    ASSERT_TRUE(QFile::remove(file.fileName()));
    EXPECT_TRUE(series.refresh());
    EXPECT_TRUE(series.lastDay(now).empty());
    EXPECT_FALSE(series.problem().isEmpty());
}

TEST_F(PatientTrendSeriesTest, MissingEmptyAndForeignFilesGiveNoLinesAndAReason) {
    PatientTrendSeries missing(dir.path() + QStringLiteral("/nobody/Tarvo.pil"));
    EXPECT_TRUE(missing.refresh());
    EXPECT_TRUE(missing.lastDay(now).empty());
    EXPECT_EQ(missing.problem(), QStringLiteral("No data file"));

    QFile empty(dir.path() + QStringLiteral("/empty.pil"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    PatientTrendSeries emptySeries(empty.fileName());
    EXPECT_NO_THROW(emptySeries.refresh());
    EXPECT_TRUE(emptySeries.lastDay(now).empty());

    QFile garbage(dir.path() + QStringLiteral("/garbage.pil"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray("this is not a stored patient file at all").repeated(50));
    garbage.close();
    PatientTrendSeries garbageSeries(garbage.fileName());
    EXPECT_NO_THROW(garbageSeries.refresh());
    EXPECT_TRUE(garbageSeries.lastDay(now).empty());
}

TEST_F(PatientTrendSeriesTest, AFileCutShortInAnAppendShowsThePointsBeforeIt) {
    ASSERT_TRUE(file.store("Glucose", "CNS", "mM", 2.0, now.addSecs(-7200)));
    ASSERT_TRUE(file.store("Glucose", "CNS", "mM", 2.4, now.addSecs(-3600)));
    QFile stored(file.fileName());
    ASSERT_TRUE(stored.open(QIODevice::ReadWrite));
    ASSERT_TRUE(stored.resize(stored.size() - 5)); // the last record loses its end
    stored.close();

    PatientTrendSeries series(file.fileName());
    series.refresh();
    const std::vector<TrendLine> lines = series.lastDay(now);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].pointCount(), 1);
}
