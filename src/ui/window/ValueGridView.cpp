#include "ValueGridView.h"

#include <algorithm>

#include <QHeaderView>

#include "LatestValueGrid.h"

ValueGridView::ValueGridView(LatestValueGrid& grid, QWidget* parent)
    : QTableWidget(parent), m_grid(grid) {
    setObjectName(QStringLiteral("StringGrid1"));
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setDefaultSectionSize(kDefaultColumnWidth + kGridLineWidth);
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(kDefaultRowHeight + kGridLineWidth);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(false);
    connect(&m_grid, &LatestValueGrid::changed, this, &ValueGridView::showCells);
    showCells();
}

int ValueGridView::columnsFor(int clientWidth) {
    return std::max(clientWidth, 0) / (kDefaultColumnWidth + kGridLineWidth);
}

int ValueGridView::rowsFor(int gridHeight) {
    return std::max(gridHeight, 0) / (kDefaultRowHeight + kGridLineWidth);
}

void ValueGridView::showCells() {
    if (columnCount() != m_grid.Columns())
        setColumnCount(m_grid.Columns());
    if (rowCount() != m_grid.Rows())
        setRowCount(m_grid.Rows());
    for (int row = 0; row < m_grid.Rows(); ++row) {
        for (int column = 0; column < m_grid.Columns(); ++column) {
            const QString text = m_grid.Cell(column, row);
            QTableWidgetItem* cell = item(row, column);
            if (cell == nullptr) {
                if (text.isEmpty())
                    continue;
                cell = new QTableWidgetItem;
                setItem(row, column, cell);
            }
            if (cell->text() != text)
                cell->setText(text);
        }
    }
}

void ValueGridView::mouseDoubleClickEvent(QMouseEvent* event) {
    emit doubleClickedAnywhere();
    QTableWidget::mouseDoubleClickEvent(event);
}
