#include "LatestValueGrid.h"

#include <algorithm>
#include <array>

struct LatestValueGrid::Key {
    std::array<QStringView, 4> pieces{};
    int count = 0; // none: the text has no "=" and matches no cell

    bool empty() const { return count == 0; }
    qsizetype size() const {
        qsizetype total = 0;
        for (int i = 0; i < count; ++i)
            total += pieces[std::size_t(i)].size();
        return total;
    }
    bool operator==(const Key& other) const {
        const qsizetype total = size();
        if (total != other.size())
            return false;
        std::size_t a = 0;
        std::size_t b = 0;
        qsizetype at = 0;
        qsizetype otherAt = 0;
        for (qsizetype n = 0; n < total; ++n) {
            while (at >= pieces[a].size()) {
                ++a;
                at = 0;
            }
            while (otherAt >= other.pieces[b].size()) {
                ++b;
                otherAt = 0;
            }
            if (pieces[a][at++] != other.pieces[b][otherAt++])
                return false;
        }
        return true;
    }
};

namespace {

// Where the first "=" of a short text is; -1 when it has none.
qsizetype equalsIn(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'=')
            return i;
    }
    return -1;
}

bool plainKeyOf(const PatientIdentity::LatestValueParts& parts) {
    return equalsIn(parts.parameterName) < 0 && equalsIn(parts.place) < 0;
}

} // namespace

const QString& LatestValueGrid::Entry::text() const {
    if (due) {
        written = PatientIdentity::LatestValueText(parts);
        due = false;
    }
    return written;
}

void LatestValueGrid::Entry::setText(const QString& value) {
    written = value;
    parts = {};
    hasParts = false;
    plainKey = false;
    due = false;
}

LatestValueGrid::Key LatestValueGrid::keyOf(QStringView text) {
    Key key;
    const qsizetype equals = equalsIn(text);
    if (equals >= 0) {
        key.pieces[0] = text.left(equals + 1);
        key.count = 1;
    }
    return key;
}

// The pieces of "<parameter> <place> =", cut after the first "=" when the name or the place
// holds one (plain: neither does).
LatestValueGrid::Key LatestValueGrid::keyOf(const PatientIdentity::LatestValueParts& parts,
                                            bool plain) {
    Key key;
    const std::array<QStringView, 4> pieces = {parts.parameterName, u" ", parts.place, u" ="};
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const qsizetype equals = plain && i < 3 ? -1 : equalsIn(pieces[i]);
        key.pieces[i] = equals < 0 ? pieces[i] : pieces[i].left(equals + 1);
        key.count = int(i) + 1;
        if (equals >= 0)
            break;
    }
    return key;
}

LatestValueGrid::Key LatestValueGrid::keyOf(const Entry& entry) {
    return entry.hasParts ? keyOf(entry.parts, entry.plainKey) : keyOf(QStringView(entry.written));
}

LatestValueGrid::LatestValueGrid(int columns, int rows, QObject* parent)
    : QObject(parent), m_columns(columns), m_rows(rows), m_cells(std::size_t(columns * rows)) {}

QString LatestValueGrid::Cell(int column, int row) const {
    if (column < 0 || row < 0 || column >= m_columns || row >= m_rows)
        return {};
    return m_cells[std::size_t(row * m_columns + column)].text();
}

QDateTime LatestValueGrid::CellTime(int column, int row) const {
    if (column < 0 || row < 0 || column >= m_columns || row >= m_rows)
        return {};
    return m_cells[std::size_t(row * m_columns + column)].time;
}

LatestValueGrid::Entry& LatestValueGrid::entry(int column, int row) {
    return m_cells[std::size_t(row * m_columns + column)];
}

void LatestValueGrid::setValue(Entry& target, const QString& text, const QDateTime& time) {
    target.setText(text);
    target.time = time;
}

void LatestValueGrid::setValue(Entry& target, const PatientIdentity::LatestValueParts& parts,
                               const QDateTime& time) {
    // A cell of the same key mostly holds the very same texts already.
    if (!target.parts.parameterName.isSharedWith(parts.parameterName))
        target.parts.parameterName = parts.parameterName;
    if (!target.parts.place.isSharedWith(parts.place))
        target.parts.place = parts.place;
    if (!target.parts.unit.isSharedWith(parts.unit))
        target.parts.unit = parts.unit;
    target.parts.value = parts.value;
    target.parts.separator = parts.separator;
    target.plainKey = plainKeyOf(parts);
    target.hasParts = true;
    target.due = true;
    target.time = time;
}

void LatestValueGrid::markMoreValues(int column) {
    m_moreValuesAside = column < kNameColumns;
    if (!m_moreValuesAside)
        entry(column, 0).setText(QLatin1String(kMoreValues));
}

void LatestValueGrid::Resize(int columns, int rows) {
    std::vector<Entry> cells(std::size_t(std::max(columns, 0) * std::max(rows, 0)));
    for (int row = 0; row < std::min(rows, m_rows); ++row) {
        for (int column = 0; column < std::min(columns, m_columns); ++column)
            cells[std::size_t(row * columns + column)] = std::move(entry(column, row));
    }
    m_columns = std::max(columns, 0);
    m_rows = std::max(rows, 0);
    m_cells = std::move(cells);
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
            entry(column, 0).setText(names[column]);
    }
    emit changed();
    return lost;
}

void LatestValueGrid::Clear() {
    for (Entry& cell : m_cells)
        cell = Entry();
    m_moreValuesAside = false;
    emit changed();
}

void LatestValueGrid::ShowPatient(const QString& id, const QString& firstName,
                                  const QString& lastName) {
    if (m_columns < 1 || m_rows < 1)
        return;
    if (entry(0, 0).text() != id)
        Clear();
    // A narrow grid shows what fits, the ID first: values are never shown without it.
    const QString names[] = {id, firstName, lastName};
    for (int column = 0; column < std::min(m_columns, kNameColumns); ++column)
        entry(column, 0).setText(names[column]);
    emit changed();
}

template <typename Matches, typename Value>
void LatestValueGrid::showValue(const Matches& matches, const Value& value, const QDateTime& time) {
    int lastColumn = -1;
    int lastRow = 0;
    for (int column = 0; column < m_columns; ++column) {
        for (int row = 1; row < m_rows; ++row) {
            Entry& cell = entry(column, row);
            if (matches(cell)) {
                setValue(cell, value, time);
                emit changed();
                return;
            }
            if (cell.filled()) {
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
        setValue(entry(column, row), value, time);
    else if (m_columns > 0 && m_rows > 0)
        markMoreValues(m_columns - 1);
    emit changed();
}

void LatestValueGrid::ShowValue(const QString& latestValueText, const QDateTime& time) {
    const Key key = keyOf(QStringView(latestValueText));
    showValue([&key](const Entry& cell) { return !key.empty() && keyOf(cell) == key; },
              latestValueText, time);
}

void LatestValueGrid::ShowValue(const PatientIdentity::LatestValueParts& parts,
                                const QDateTime& time) {
    const bool plain = plainKeyOf(parts);
    const Key key = keyOf(parts, plain);
    const auto matches = [&](const Entry& cell) {
        // Keys "<name> <place> =" with names of one length are the same when name and place
        // are; otherwise ("A " and "B" against "A" and " B") the whole keys decide.
        if (plain && cell.plainKey && cell.parts.parameterName.size() == parts.parameterName.size())
            return cell.parts.parameterName == parts.parameterName &&
                   cell.parts.place == parts.place;
        return keyOf(cell) == key;
    };
    showValue(matches, parts, time);
}
