#include <gtest/gtest.h>

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
    EXPECT_EQ(grid.Cell(2, 0), "More values >>");

    grid.ShowPatient("P1", "Åsa", "Öberg");
    EXPECT_EQ(grid.Cell(0, 1), "Glucose CNS = 3.00 mM") << "the same patient keeps the values";
    grid.ShowPatient("P2", "Per", "Son");
    EXPECT_EQ(grid.Cell(0, 1), "") << "another patient clears the grid";
    EXPECT_EQ(grid.Cell(0, 0), "P2");
}

TEST(LatestValueGrid, FitMarksALostColumnAndShowsThePatientWhenItIsBack) {
    LatestValueGrid grid(3, 6);
    grid.ShowPatient("P1", "Åsa", "Öberg");
    grid.ShowValue("Glucose CNS = 2.50 mM");

    EXPECT_TRUE(grid.Fit(2, 6, "P1", "Åsa", "Öberg"));
    EXPECT_EQ(grid.Columns(), 2);
    EXPECT_EQ(grid.Cell(1, 0), "More values >>") << "column min(columns - 1, 3)";
    EXPECT_EQ(grid.Cell(0, 0), "P1");
    EXPECT_EQ(grid.Cell(0, 1), "Glucose CNS = 2.50 mM") << "cells that still fit stay";

    EXPECT_FALSE(grid.Fit(3, 6, "P1", "Åsa", "Öberg"));
    EXPECT_EQ(grid.Cell(1, 0), "Åsa");
    EXPECT_EQ(grid.Cell(2, 0), "Öberg");

    EXPECT_TRUE(grid.Fit(6, 4, "P1", "Åsa", "Öberg")) << "a lost row counts as well";
    EXPECT_EQ(grid.Cell(3, 0), "More values >>") << "never further right than column 3";
    EXPECT_EQ(grid.Cell(2, 0), "Öberg");

    EXPECT_TRUE(grid.Fit(0, 0, "P1", "Åsa", "Öberg")) << "a window too small for any cell";
    EXPECT_EQ(grid.Columns(), 0);
    EXPECT_EQ(grid.Cell(0, 0), "");
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
