#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "DecimalSeparator.h"
#include "LatestValueGrid.h"
#include "ParameterCatalogue.h"
#include "QtPrinters.h"

TEST(ParameterCatalogue, KeyIsNameAndPlaceNotUnit) {
    TParameters catalogue;
    const QDateTime now(QDate(2026, 12, 8), QTime(12, 0));
    catalogue.Add(0, "mM", "CNS", "Glucose", now);
    catalogue.Add(1, "mM", "Muscle", "Glucose", now);
    EXPECT_EQ(catalogue.IndexOf("Glucose", "CNS"), 0);
    EXPECT_EQ(catalogue.IndexOf("Glucose", "Muscle"), 1);
    EXPECT_EQ(catalogue.IndexOf("Lactate", "CNS"), -1);
    const TParameter& added = catalogue.At(1);
    EXPECT_EQ(added.DisplayName, "Glucose");
    EXPECT_FALSE(added.Selected);
    EXPECT_EQ(added.SettingA, 1);
    EXPECT_EQ(added.SettingB, 2);
    EXPECT_EQ(added.LastTime, now);

    TParamAndIndexConnection a{1, "Glucose", "CNS"};
    const TParamAndIndexConnection b{7, "Glucose", "Muscle"};
    EXPECT_TRUE(a == b) << "equal by name";
    a.Assign(b);
    EXPECT_EQ(a.Index, 7);
}

TEST(LatestValueGrid, FillsColumnByColumnAndOverwritesTheSameKey) {
    LatestValueGrid grid(3, 3);
    grid.ShowPatient("P1", "Åsa", "Öberg");
    grid.ShowValue("Glucose CNS = 2.50 mM");
    grid.ShowValue("Lactate CNS = 1.20 mM");
    EXPECT_EQ(grid.Cell(0, 1), "Glucose CNS = 2.50 mM");
    EXPECT_EQ(grid.Cell(0, 2), "Lactate CNS = 1.20 mM");
    grid.ShowValue("Glucose CNS = 3.00 mM");
    EXPECT_EQ(grid.Cell(0, 1), "Glucose CNS = 3.00 mM") << "same parameter and place";
    grid.ShowValue("Pyruvate CNS = 0.120 mM");
    EXPECT_EQ(grid.Cell(2, 1), "Pyruvate CNS = 0.120 mM")
        << "a full column goes on two to the right";
    grid.ShowValue("Urea CNS = 5.00 mM");
    grid.ShowValue("Glycerol CNS = 40.0 uM");
    EXPECT_EQ(grid.Cell(2, 0), "Öberg") << "the full grid keeps the patient's last name";
    EXPECT_TRUE(grid.MoreValuesAside());

    grid.ShowPatient("P1", "Åsa", "Öberg");
    EXPECT_EQ(grid.Cell(0, 1), "Glucose CNS = 3.00 mM") << "the same patient keeps the values";
    grid.ShowPatient("P2", "Per", "Son");
    EXPECT_EQ(grid.Cell(0, 1), "") << "another patient clears the grid";
    EXPECT_EQ(grid.Cell(0, 0), "P2");
}

// The patient's ID and names in row 0 stay whatever the grid loses: "More values >>" goes to the
// header cell after them, or beside the grid when it has no such cell.
TEST(LatestValueGrid, FitMarksALostCellWithoutHidingThePatient) {
    const QString names[] = {"P1", "Åsa", "Öberg"};
    const struct {
        int columns;
        int rows;
        int markerColumn; // -1: beside the grid
    } cases[] = {{2, 6, -1}, {1, 6, -1}, {3, 4, -1}, {4, 5, 3}, {6, 4, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.columns << " x " << c.rows);
        LatestValueGrid grid(7, 6);
        grid.ShowPatient(names[0], names[1], names[2]);
        grid.ShowValue("Glucose CNS = 2.50 mM");

        EXPECT_TRUE(grid.Fit(c.columns, c.rows, names[0], names[1], names[2]));
        EXPECT_EQ(grid.Columns(), c.columns);
        for (int column = 0; column < std::min(c.columns, 3); ++column)
            EXPECT_EQ(grid.Cell(column, 0), names[column]) << "column " << column;
        for (int column = 3; column < c.columns; ++column)
            EXPECT_EQ(grid.Cell(column, 0), column == c.markerColumn ? "More values >>" : "")
                << "column " << column;
        EXPECT_EQ(grid.MoreValuesAside(), c.markerColumn < 0);
        EXPECT_EQ(grid.Cell(0, 1), "Glucose CNS = 2.50 mM") << "cells that still fit stay";

        EXPECT_FALSE(grid.Fit(c.columns, c.rows + 1, names[0], names[1], names[2]));
        EXPECT_FALSE(grid.MoreValuesAside()) << "the grid that grows shows the patient again";
        for (int column = 0; column < std::min(c.columns, 3); ++column)
            EXPECT_EQ(grid.Cell(column, 0), names[column]) << "column " << column;
        grid.Clear();
        EXPECT_FALSE(grid.MoreValuesAside());
        EXPECT_EQ(grid.Cell(c.markerColumn, 0), "") << "cleared with the values";
    }

    LatestValueGrid grid(3, 6);
    grid.ShowPatient("P1", "Åsa", "Öberg");
    EXPECT_TRUE(grid.Fit(0, 0, "P1", "Åsa", "Öberg")) << "a window too small for any cell";
    EXPECT_EQ(grid.Columns(), 0);
    EXPECT_EQ(grid.Cell(0, 0), "");
}

// A full grid says "More values >>" in its top-right cell unless that cell holds a name.
TEST(LatestValueGrid, AFullGridSaysMoreValuesWithoutHidingThePatient) {
    const struct {
        int columns;
        bool aside;
    } cases[] = {{1, true}, {3, true}, {4, false}, {5, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.columns);
        LatestValueGrid grid(c.columns, 2);
        grid.ShowPatient("P1", "Åsa", "Öberg");
        for (int value = 0; value <= (c.columns + 1) / 2; ++value)
            grid.ShowValue(QStringLiteral("Glucose %1 = 2.50 mM").arg(value));
        EXPECT_EQ(grid.MoreValuesAside(), c.aside);
        EXPECT_EQ(grid.Cell(0, 0), "P1");
        EXPECT_EQ(grid.Cell(std::min(c.columns, 3) - 1, 0), QString(c.columns >= 3   ? "Öberg"
                                                                    : c.columns == 2 ? "Åsa"
                                                                                     : "P1"));
        EXPECT_EQ(grid.Cell(c.columns - 1, 0) == "More values >>", !c.aside);
        grid.ShowPatient("P2", "Per", "Son");
        EXPECT_FALSE(grid.MoreValuesAside()) << "another patient clears the marker";
        EXPECT_NE(grid.Cell(c.columns - 1, 0), "More values >>");
    }
}

TEST(LatestValueGrid, ANarrowGridStillShowsWhoseValuesItHolds) {
    LatestValueGrid grid(2, 4);
    grid.ShowPatient("P1", "Åsa", "Öberg");
    grid.ShowValue("Glucose CNS = 2.50 mM");
    EXPECT_EQ(grid.Cell(0, 0), "P1");
    EXPECT_EQ(grid.Cell(1, 0), "Åsa");
    EXPECT_EQ(grid.Cell(0, 1), "Glucose CNS = 2.50 mM");
    grid.ShowPatient("P2", "Per", "Son");
    EXPECT_EQ(grid.Cell(0, 1), "") << "another patient clears the grid";
    EXPECT_EQ(grid.Cell(0, 0), "P2");
}

// A value given as its parts takes the cell a value given as its text would take, and the cell
// reads as that text: same key, same place in the grid, the same texts and times, whichever
// form the values before it had.
TEST(LatestValueGrid, ValuesGivenAsPartsTakeTheCellsOfTheirTexts) {
    using Parts = PatientIdentity::LatestValueParts;
    const std::vector<Parts> values = {
        {"Glucose", "CNS", "mM", 2.5, u'.'},     {"Lactate", "CNS", "mM", 1.25, u','},
        {"Glucose", "CNS", "mM", 3.0, u','},     {"Glucose", "CNS", "mg/dL", 54, u'.'},
        {"Glucose", "CNS=2", "mM", 4.0, u'.'},   {"Glucose", "CNS=3", "mM", 5.0, u'.'},
        {"A=B", "CNS", "mM", 0.5, u'.'},         {"A=C", "Muscle", "mM", 0.75, u'.'},
        {"Glucose", "", "mM", 6.0, u'.'},        {"Glucose ", "CNS", "mM", 7.0, u'.'},
        {"Glucose ", "", "mM", 6.5, u'.'},       {"Glucose", " ", "mM", 6.25, u'.'},
        {"Urea", "Muscle", "mM", 8.0, u'.'},     {"Pyruvate", "CNS", "umol/L", 120, u'.'},
        {"Glycerol", "CNS", "umol/L", 40, u'.'}, {"Lactate", "CNS", "mM", 1.5, u'.'}};
    const QDateTime start(QDate(2026, 12, 8), QTime(12, 0));
    for (const int columns : {3, 5, 8}) {
        for (const int textEvery : {0, 2, 3}) { // 0: every value as its parts
            SCOPED_TRACE(testing::Message() << columns << " columns, text every " << textEvery);
            LatestValueGrid byText(columns, 4);
            LatestValueGrid mixed(columns, 4);
            byText.ShowPatient("P1", "Åsa", "Öberg");
            mixed.ShowPatient("P1", "Åsa", "Öberg");
            for (std::size_t i = 0; i < values.size(); ++i) {
                const QDateTime time = start.addSecs(qint64(i) * 60);
                DecimalSeparator::set(values[i].separator);
                const QString text = PatientIdentity::LatestValueText(values[i]);
                DecimalSeparator::set(u'.');
                byText.ShowValue(text, time);
                if (textEvery > 0 && i % std::size_t(textEvery) == 0)
                    mixed.ShowValue(text, time);
                else
                    mixed.ShowValue(values[i], time);
                if (i % 4 == 3)
                    (void)mixed.Cell(0, 1); // a cell read in between is written early
            }
            EXPECT_EQ(mixed.MoreValuesAside(), byText.MoreValuesAside());
            for (int column = 0; column < columns; ++column) {
                for (int row = 0; row < 4; ++row) {
                    EXPECT_EQ(mixed.Cell(column, row), byText.Cell(column, row))
                        << column << ", " << row;
                    EXPECT_EQ(mixed.CellTime(column, row), byText.CellTime(column, row))
                        << column << ", " << row;
                }
            }
        }
    }
    DecimalSeparator::set(DecimalSeparator::system());
}
