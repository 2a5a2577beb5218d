#include "ValueGridView.h"

#include <algorithm>

#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>

#include "LatestValueGrid.h"
#include "ValueAge.h"

ValueGridView::ValueGridView(LatestValueGrid& grid, QWidget* parent)
    : QTableWidget(parent), m_grid(&grid) {
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
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTextElideMode(Qt::ElideNone);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(false);
    m_changed = connect(m_grid, &LatestValueGrid::changed, this, &ValueGridView::showCells);
    showCells();
}

void ValueGridView::setGrid(LatestValueGrid& grid) {
    if (&grid == m_grid)
        return;
    disconnect(m_changed);
    m_grid = &grid;
    m_changed = connect(m_grid, &LatestValueGrid::changed, this, &ValueGridView::showCells);
    clearContents();
    showCells();
}

void ValueGridView::setMoreValuesNote(QLabel* note) {
    m_moreValuesNote = note;
    showCells();
}

int ValueGridView::columnsFor(int clientWidth) {
    return std::max(clientWidth, 0) / (kDefaultColumnWidth + kGridLineWidth);
}

int ValueGridView::rowsFor(int gridHeight) {
    return std::max(gridHeight, 0) / (kDefaultRowHeight + kGridLineWidth);
}

QString ValueGridView::shownText(const QString& text, const QDateTime& measured,
                                 const QDateTime& now) {
    const QString time = ValueAge::timeText(measured, now);
    if (text.isEmpty() || time.isEmpty())
        return text;
    return text + QStringLiteral("   ") + time;
}

void ValueGridView::showCells() {
    if (columnCount() != m_grid->Columns())
        setColumnCount(m_grid->Columns());
    if (rowCount() != m_grid->Rows())
        setRowCount(m_grid->Rows());
    const QDateTime now = QDateTime::currentDateTime();
    bool anyValue = false;
    for (int row = 1; row < m_grid->Rows() && !anyValue; ++row)
        for (int column = 0; column < m_grid->Columns() && !anyValue; ++column)
            anyValue = !m_grid->Cell(column, row).isEmpty();
    // "More values >>" tells of values that do not fit; an empty grid has none.
    if (m_moreValuesNote != nullptr)
        m_moreValuesNote->setVisible(anyValue && m_grid->MoreValuesAside() && isVisible());
    const QBrush current = palette().text();
    const QBrush old = palette().placeholderText();
    for (int row = 0; row < m_grid->Rows(); ++row) {
        for (int column = 0; column < m_grid->Columns(); ++column) {
            QString text = m_grid->Cell(column, row);
            if (row == 0 && !anyValue && text == QLatin1String(LatestValueGrid::kMoreValues))
                text.clear();
            const QDateTime measured = m_grid->CellTime(column, row);
            text = shownText(text, measured, now);
            QTableWidgetItem* cell = item(row, column);
            if (cell == nullptr) {
                if (text.isEmpty())
                    continue;
                cell = new QTableWidgetItem;
                setItem(row, column, cell);
            }
            if (cell->text() != text)
                cell->setText(text);
            QFont font = cell->font();
            font.setBold(row == 0);
            cell->setFont(font);
            cell->setForeground(ValueAge::isStale(measured, now) ? old : current);
        }
    }
    // Every column is as wide as its widest text, and at least the default width.
    for (int column = 0; column < columnCount(); ++column)
        setColumnWidth(column, std::max(kDefaultColumnWidth + kGridLineWidth,
                                        sizeHintForColumn(column) + 2 * kGridLineWidth));
}

void ValueGridView::mouseDoubleClickEvent(QMouseEvent* event) {
    emit doubleClickedAnywhere();
    QTableWidget::mouseDoubleClickEvent(event);
}

void ValueGridView::showEvent(QShowEvent* event) {
    QTableWidget::showEvent(event);
    showCells();
}

void ValueGridView::hideEvent(QHideEvent* event) {
    QTableWidget::hideEvent(event);
    // The note speaks of the grid: not on another page.
    if (m_moreValuesNote != nullptr && !event->spontaneous())
        m_moreValuesNote->hide();
}
