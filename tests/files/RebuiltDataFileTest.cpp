#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include <QTemporaryDir>

#include "RebuiltDataFile.h"
#include "SeriesFileWriter.h"

namespace {

struct Point {
    const char* parameter;
    const char* unit;
    double value;
    int minute;
};

QString write(const QString& folder, const std::vector<Point>& points) {
    SeriesFileWriter writer(folder);
    const QDateTime start(QDate(2026, 12, 9), QTime(8, 0));
    for (const Point& p : points) {
        EXPECT_TRUE(writer.store(QLatin1String(p.parameter), QStringLiteral("CNS"),
                                 QLatin1String(p.unit), p.value, start.addSecs(60 * p.minute)));
    }
    return writer.fileName();
}

} // namespace

// A result of the old file counts as held when the rebuilt file has a point of the same series
// with the same time, value and fields, once for every time the old file holds it.
TEST(RebuiltDataFile, MissingResultsCountsWhatTheRebuiltFileDoesNotHold) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        std::vector<Point> old;
        std::vector<Point> rebuilt;
        bool rebuiltExists;
        int missing;
    };
    const std::vector<Case> cases = {
        {"the same results",
         {{"Glucose", "mmol/L", 2.5, 0}, {"Lactate", "mmol/L", 1.5, 0}},
         {{"Lactate", "mmol/L", 1.5, 0}, {"Glucose", "mmol/L", 2.5, 0}},
         true,
         0},
        {"one value not rebuilt",
         {{"Glucose", "mmol/L", 2.5, 0}, {"Glucose", "mmol/L", 2.6, 1}},
         {{"Glucose", "mmol/L", 2.5, 0}},
         true,
         1},
        {"a result twice, rebuilt once",
         {{"Glucose", "mmol/L", 2.5, 0}, {"Glucose", "mmol/L", 2.5, 0}},
         {{"Glucose", "mmol/L", 2.5, 0}},
         true,
         1},
        {"values apart in the last digit",
         {{"Glucose", "mmol/L", 1.0, 0}},
         {{"Glucose", "mmol/L", std::nextafter(1.0, 2.0), 0}},
         true,
         1},
        {"another time", {{"Glucose", "mmol/L", 2.5, 0}}, {{"Glucose", "mmol/L", 2.5, 1}}, true, 1},
        {"another unit", {{"Glucose", "mmol/L", 2.5, 0}}, {{"Glucose", "mg/dL", 2.5, 0}}, true, 1},
        {"another series",
         {{"Glucose", "mmol/L", 2.5, 0}},
         {{"Lactate", "mmol/L", 2.5, 0}},
         true,
         1},
        {"zero and negative zero",
         {{"Glucose", "mmol/L", -0.0, 0}},
         {{"Glucose", "mmol/L", 0.0, 0}},
         true,
         1},
        {"not a number on both sides",
         {{"Glucose", "mmol/L", nan, 0}},
         {{"Glucose", "mmol/L", nan, 0}},
         true,
         0},
        {"nothing rebuilt",
         {{"Glucose", "mmol/L", 2.5, 0}, {"Lactate", "mmol/L", 1.5, 0}},
         {},
         false,
         2},
        {"an old file without results", {}, {{"Glucose", "mmol/L", 2.5, 0}}, true, 0},
        {"the old file the start of the rebuilt one",
         {{"Glucose", "mmol/L", 2.5, 0}},
         {{"Glucose", "mmol/L", 2.5, 0}, {"Glucose", "mmol/L", 2.6, 1}},
         true,
         0},
        {"the rebuilt file the start of the old one",
         {{"Glucose", "mmol/L", 2.5, 0},
          {"Glucose", "mmol/L", 2.6, 1},
          {"Lactate", "mmol/L", 1.5, 1}},
         {{"Glucose", "mmol/L", 2.5, 0}, {"Glucose", "mmol/L", 2.6, 1}},
         true,
         1},
        {"the same bytes but the last value",
         {{"Glucose", "mmol/L", 2.5, 0}, {"Glucose", "mmol/L", 2.6, 1}},
         {{"Glucose", "mmol/L", 2.5, 0}, {"Glucose", "mmol/L", 2.7, 1}},
         true,
         1},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString oldFile = write(dir.path() + "/old/", c.old);
        const QString rebuiltFile =
            c.rebuiltExists ? write(dir.path() + "/rebuilt/", c.rebuilt) : QString();
        EXPECT_EQ(RebuiltDataFile::MissingResults(oldFile, rebuiltFile), c.missing) << c.name;
    }
}
