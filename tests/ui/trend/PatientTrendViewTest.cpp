#include <gtest/gtest.h>

#include <QLegendMarker>
#include <QLineSeries>
#include <QTemporaryDir>
#include <QTest>

#include "PatientTrendView.h"
#include "SeriesFileWriter.h"

namespace {

class PatientTrendViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.setNow([this] { return now; });
        view.resize(700, 300);
    }

    QList<QLineSeries*> lineSeries() const {
        QList<QLineSeries*> lines;
        for (QAbstractSeries* series : view.chart()->series())
            if (auto* line = qobject_cast<QLineSeries*>(series))
                lines << line;
        return lines;
    }

    QTemporaryDir dir;
    SeriesFileWriter file{dir.path() + QStringLiteral("/1912/")};
    QDateTime now{QDate(2026, 3, 14), QTime(15, 0)};
    PatientTrendView view;
};

} // namespace

TEST_F(PatientTrendViewTest, WithoutAPatientOrDataTheChartIsEmptyWithAShortText) {
    EXPECT_EQ(view.emptyText(), QStringLiteral("No patient selected"));
    EXPECT_TRUE(lineSeries().isEmpty());

    view.showPatient(dir.path() + QStringLiteral("/nobody/Tarvo.pil"));
    EXPECT_TRUE(lineSeries().isEmpty());
    EXPECT_FALSE(view.emptyText().isEmpty());

    ASSERT_TRUE(file.store("Glucose", "CNS", "mM", 2.0, now.addDays(-3)));
    view.showPatient(file.fileName());
    EXPECT_TRUE(lineSeries().isEmpty());
    EXPECT_EQ(view.emptyText(), QStringLiteral("No values in the last 24 hours"));
}

TEST_F(PatientTrendViewTest, OneLineForEachParameterWithItsUnitAndItsOwnColour) {
    ASSERT_TRUE(file.store("Glucose", "CNS", "mM", 2.0, now.addSecs(-5 * 3600)));
    ASSERT_TRUE(file.store("Glucose", "CNS", "mM", 2.6, now.addSecs(-3600)));
    ASSERT_TRUE(file.store("Lactate", "CNS", "mM", 3.1, now.addSecs(-3600)));
    ASSERT_TRUE(file.store("Pyruvate", "CNS", "uM", 140, now.addSecs(-3600)));
    ASSERT_TRUE(file.store("LPRatio", "CNS", "", 22, now.addSecs(-3600)));
    view.showPatient(file.fileName());

    EXPECT_EQ(view.emptyText(), QString());
    EXPECT_EQ(view.lineLabels(), (QStringList{"Glucose CNS (mM)", "Lactate CNS (mM)",
                                              "Pyruvate CNS (uM)", "L/P ratio CNS"}));
    const QList<QLineSeries*> lines = lineSeries();
    ASSERT_EQ(lines.size(), 4);
    QSet<QRgb> colours;
    for (QLineSeries* line : lines)
        colours.insert(line->pen().color().rgb());
    EXPECT_EQ(colours.size(), 4);
    EXPECT_EQ(lines[0]->count(), 2);

    // The time axis is the last 24 hours, labelled with the time of day.
    auto* axis = qobject_cast<QDateTimeAxis*>(view.chart()->axes(Qt::Horizontal).value(0));
    ASSERT_NE(axis, nullptr);
    EXPECT_EQ(axis->max(), now);
    EXPECT_EQ(axis->min(), now.addDays(-1));
    EXPECT_EQ(axis->format(), QStringLiteral("HH:mm"));
}

TEST_F(PatientTrendViewTest, EachUnitHasItsOwnValueAxisSoSmallValuesStayReadable) {
    ASSERT_TRUE(file.store("Glucose", "CNS", "mM", 1.2, now.addSecs(-3600)));
    ASSERT_TRUE(file.store("Lactate", "CNS", "mM", 3.4, now.addSecs(-3600)));
    ASSERT_TRUE(file.store("Pyruvate", "CNS", "uM", 140, now.addSecs(-3600)));
    ASSERT_TRUE(file.store("LPRatio", "CNS", "", 24, now.addSecs(-3600)));
    view.showPatient(file.fileName());

    const QList<QValueAxis*> axes = view.valueAxes();
    ASSERT_EQ(axes.size(), 3);
    EXPECT_EQ(axes[0]->titleText(), QStringLiteral("mM"));
    EXPECT_EQ(axes[0]->alignment(), Qt::AlignLeft);
    EXPECT_EQ(axes[1]->titleText(), QStringLiteral("uM"));
    EXPECT_EQ(axes[2]->titleText(), QStringLiteral("ratio"));
    // The mM axis spans the mM values, not the pyruvate's hundreds.
    EXPECT_LE(axes[0]->max(), 10.0);
    EXPECT_GE(axes[0]->max(), 3.4);
    EXPECT_GE(axes[1]->max(), 140.0);
    for (QLineSeries* line : lineSeries()) {
        const QList<QAbstractAxis*> attached = line->attachedAxes();
        const QString unitAxis = line->name().startsWith(QLatin1String("Pyruvate")) ? "uM"
                                 : line->name().startsWith(QLatin1String("L/P"))    ? "ratio"
                                                                                    : "mM";
        bool found = false;
        for (QAbstractAxis* axis : attached)
            found = found || (axis->orientation() == Qt::Vertical && axis->titleText() == unitAxis);
        EXPECT_TRUE(found) << line->name().toStdString();
    }

    // Showing the patient again does not pile up axes.
    view.showPatient(QString());
    view.showPatient(file.fileName());
    EXPECT_EQ(view.valueAxes().size(), 3);
    EXPECT_EQ(view.chart()->axes(Qt::Vertical).size(), 3);
}

TEST_F(PatientTrendViewTest, RefreshDrawsANewValueAndNothingWhenTheFileIsUnchanged) {
    ASSERT_TRUE(file.store("Glucose", "CNS", "mM", 2.0, now.addSecs(-3600)));
    view.showPatient(file.fileName());
    const int drawn = view.redrawCount();

    view.refresh();
    view.refresh();
    EXPECT_EQ(view.redrawCount(), drawn);

    ASSERT_TRUE(file.store("Glucose", "CNS", "mM", 2.3, now.addSecs(-60)));
    view.refresh();
    EXPECT_EQ(view.redrawCount(), drawn + 1);
    ASSERT_EQ(lineSeries().size(), 1);
    EXPECT_EQ(lineSeries()[0]->count(), 2);

    // Time moving on redraws the window even without a new value.
    now = now.addSecs(3600);
    view.refresh();
    EXPECT_EQ(view.redrawCount(), drawn + 2);
}

TEST_F(PatientTrendViewTest, ABreakSplitsTheLineButTheLegendNamesItOnce) {
    ASSERT_TRUE(file.store("Glutamate", "CNS", "uM", 8, now.addSecs(-6 * 3600)));
    ASSERT_TRUE(file.storeBreak("Glutamate", "CNS", "uM", now.addSecs(-6 * 3600 + 1)));
    ASSERT_TRUE(file.store("Glutamate", "CNS", "uM", 12, now.addSecs(-3600)));
    view.showPatient(file.fileName());
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QList<QLineSeries*> lines = lineSeries();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0]->pen().color(), lines[1]->pen().color());
    int visibleMarkers = 0;
    for (QLegendMarker* marker : view.chart()->legend()->markers())
        visibleMarkers += marker->isVisible() ? 1 : 0;
    EXPECT_EQ(visibleMarkers, 1);
    EXPECT_EQ(view.lineLabels(), QStringList{"Glutamate CNS (uM)"});
}

TEST_F(PatientTrendViewTest, AnotherPatientReplacesTheLines) {
    ASSERT_TRUE(file.store("Glucose", "CNS", "mM", 2.0, now.addSecs(-3600)));
    SeriesFileWriter other(dir.path() + QStringLiteral("/2020/"), QStringLiteral("2020"));
    ASSERT_TRUE(other.store("Glycerol", "Adipose", "uM", 70, now.addSecs(-3600)));
    view.showPatient(file.fileName());
    view.showPatient(other.fileName());
    EXPECT_EQ(view.lineLabels(), QStringList{"Glycerol Adipose (uM)"});
    view.showPatient(QString());
    EXPECT_TRUE(lineSeries().isEmpty());
    EXPECT_EQ(view.emptyText(), QStringLiteral("No patient selected"));
}

TEST_F(PatientTrendViewTest, AFileThatChangesIsDrawnAgainWithoutBeingAsked) {
    // A rebuild writes the file while no value arrives; folder monitoring brings a file that was
    // not there when the patient was shown.
    for (const bool existsFirst : {true, false}) {
        SCOPED_TRACE(existsFirst ? "the file is written again" : "the file appears");
        QTemporaryDir patientDir;
        SeriesFileWriter patientFile(patientDir.path() + QStringLiteral("/7/"),
                                     QStringLiteral("7"));
        if (existsFirst)
            ASSERT_TRUE(patientFile.store("Glucose", "CNS", "mM", 2.0, now.addSecs(-3600)));
        else
            ASSERT_TRUE(QDir().mkpath(patientDir.path() + QStringLiteral("/7/")));
        view.showPatient(patientFile.fileName());
        const qsizetype before = view.lineLabels().size();
        ASSERT_TRUE(patientFile.store("Lactate", "CNS", "mM", 3.0, now.addSecs(-60)));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return view.lineLabels().contains(QStringLiteral("Lactate CNS (mM)")); }, 5000));
        EXPECT_GT(view.lineLabels().size(), before);
    }
}
