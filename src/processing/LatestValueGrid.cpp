#include "LatestValueGrid.h"

#include <algorithm>

LatestValueGrid::LatestValueGrid(int columns, int rows, QObject* parent)
    : QObject(parent), m_columns(columns), m_rows(rows), m_cells(std::size_t(columns * rows)),
      m_times(m_cells.size()) {}

QString LatestValueGrid::Cell(int column, int row) const {
    if (column < 0 || row < 0 || column >= m_columns || row >= m_rows)
        return {};
    return m_cells[std::size_t(row * m_columns + column)];
}

QDateTime LatestValueGrid::CellTime(int column, int row) const {
    if (column < 0 || row < 0 || column >= m_columns || row >= m_rows)
        return {};
    return m_times[std::size_t(row * m_columns + column)];
}

QString& LatestValueGrid::cell(int column, int row) {
    return m_cells[std::size_t(row * m_columns + column)];
}

void LatestValueGrid::setValue(int column, int row, const QString& text, const QDateTime& time) {
    cell(column, row) = text;
    m_times[std::size_t(row * m_columns + column)] = time;
}

void LatestValueGrid::markMoreValues(int column) {
    m_moreValuesAside = column < kNameColumns;
    if (!m_moreValuesAside)
        cell(column, 0) = QLatin1String(kMoreValues);
}

void LatestValueGrid::Resize(int columns, int rows) {
    std::vector<QString> cells(std::size_t(std::max(columns, 0) * std::max(rows, 0)));
    std::vector<QDateTime> times(cells.size());
    for (int row = 0; row < std::min(rows, m_rows); ++row) {
        for (int column = 0; column < std::min(columns, m_columns); ++column) {
            cells[std::size_t(row * columns + column)] = cell(column, row);
            times[std::size_t(row * columns + column)] = CellTime(column, row);
        }
    }
    m_columns = std::max(columns, 0);
    m_rows = std::max(rows, 0);
    m_cells = std::move(cells);
    m_times = std::move(times);
    emit changed();
}

bool LatestValueGrid::Fit(int columns, int rows, const QString& id, const QString& firstName,
                          const QString& lastName) {
    const bool lost = columns < m_columns || rows < m_rows;
    Resize(columns, rows);
    if (m_columns < 1 || m_rows < 1) {
        m_moreValuesAside = lost;
        return lost;
    }
    if (lost) {
        markMoreValues(std::min(m_columns - 1, kNameColumns));
    } else {
        // The names take the place the marker had beside them.
        m_moreValuesAside = false;
        const QString names[] = {id, firstName, lastName};
        for (int column = 0; column < std::min(m_columns, kNameColumns); ++column)
            cell(column, 0) = names[column];
    }
    emit changed();
    return lost;
}

void LatestValueGrid::Clear() {
    for (QString& text : m_cells)
        text.clear();
    for (QDateTime& time : m_times)
        time = {};
    m_moreValuesAside = false;
    emit changed();
}

void LatestValueGrid::ShowPatient(const QString& id, const QString& firstName,
                                  const QString& lastName) {
    if (m_columns < 1 || m_rows < 1)
        return;
    if (cell(0, 0) != id)
        Clear();
    // A narrow grid shows what fits, the ID first: values are never shown without it.
    const QString names[] = {id, firstName, lastName};
    for (int column = 0; column < std::min(m_columns, kNameColumns); ++column)
        cell(column, 0) = names[column];
    emit changed();
}

void LatestValueGrid::ShowValue(const QString& latestValueText, const QDateTime& time) {
    const qsizetype equals = latestValueText.indexOf(u'=');
    const QString key = latestValueText.left(equals + 1);
    int lastColumn = -1;
    int lastRow = 0;
    for (int column = 0; column < m_columns; ++column) {
        for (int row = 1; row < m_rows; ++row) {
            const QString& text = cell(column, row);
            if (!key.isEmpty() && text.startsWith(key)) {
                setValue(column, row, latestValueText, time);
                emit changed();
                return;
            }
            if (!text.isEmpty()) {
                lastColumn = column;
                lastRow = row;
            }
        }
    }
    int column = lastColumn < 0 ? 0 : lastColumn;
    int row = lastColumn < 0 ? 1 : lastRow + 1;
    if (row >= m_rows) {
        column += 2;
        row = 1;
    }
    if (column < m_columns && row < m_rows)
        setValue(column, row, latestValueText, time);
    else if (m_columns > 0 && m_rows > 0)
        markMoreValues(m_columns - 1);
    emit changed();
}
