#pragma once

#include <QTableWidget>

class LatestValueGrid;

// The value grid under the patient list: it shows the collector's latest-value grid cell by
// cell (row 0: the current patient, or "More values >>") and tells how many rows and columns
// fit into a given space.
class ValueGridView : public QTableWidget {
    Q_OBJECT

public:
    static constexpr int kDefaultColumnWidth = 287;
    static constexpr int kDefaultRowHeight = 26;
    static constexpr int kGridLineWidth = 2;

    explicit ValueGridView(LatestValueGrid& grid, QWidget* parent = nullptr);

    // The counts that fit into a client width and a grid height.
    static int columnsFor(int clientWidth);
    static int rowsFor(int gridHeight);

    // Shows the grid's cells again.
    void showCells();

signals:
    void doubleClickedAnywhere();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    LatestValueGrid& m_grid;
};
