#pragma once

#include <QDateTime>
#include <QTableWidget>

class LatestValueGrid;
class QLabel;

// The value grid under the patient list: it shows the collector's latest-value grid cell by
// cell (row 0: the current patient, and "More values >>" after the names), each value with the time
// it was measured and greyed once it is old, and tells how many rows and columns fit into a given
// space. A column is as wide as its widest text: a value is never cut.
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
    // Shows another grid (a patient the operator chose instead of the one sending).
    void setGrid(LatestValueGrid& grid);
    const LatestValueGrid& grid() const { return *m_grid; }
    // The label beside the grid that says "More values >>" when the header row has no cell for
    // it besides the patient's names; it shows while the grid does.
    void setMoreValuesNote(QLabel* note);
    // The text shown in a cell: the grid's text and the time of its value.
    static QString shownText(const QString& text, const QDateTime& measured, const QDateTime& now);

signals:
    void doubleClickedAnywhere();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    LatestValueGrid* m_grid;
    QMetaObject::Connection m_changed;
    QLabel* m_moreValuesNote = nullptr;
};
