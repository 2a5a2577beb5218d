#pragma once

#include <vector>

#include <QDateTime>
#include <QObject>
#include <QString>

#include "PatientIdentity.h"

// The latest value of every parameter of the current patient, as the value grid shows it: row 0
// holds patient ID, first and last name; the other cells hold "<parameter> <place> = <value>
// <unit>" texts, one per parameter and place, filled column by column.
class LatestValueGrid : public QObject {
    Q_OBJECT

public:
    static constexpr auto kMoreValues = "More values >>";
    // Row 0 holds the patient's ID, first and last name in its first columns.
    static constexpr int kNameColumns = 3;

    explicit LatestValueGrid(int columns = 3, int rows = 6, QObject* parent = nullptr);

    int Columns() const { return m_columns; }
    int Rows() const { return m_rows; }
    QString Cell(int column, int row) const;
    // When the value of a cell was measured (invalid when not known, and for row 0).
    QDateTime CellTime(int column, int row) const;

    // Changes the grid's size (the window was resized); cells outside it are forgotten.
    void Resize(int columns, int rows);
    // The window was resized or its splitter moved: the grid takes the counts that fit. When it
    // lost a row or a column, it says "More values >>": in column 3 of row 0 when the grid has
    // one, otherwise beside the grid (MoreValuesAside()), never over the patient's names;
    // otherwise row 0 shows the current patient again. True when it lost one.
    bool Fit(int columns, int rows, const QString& id, const QString& firstName,
             const QString& lastName);
    void Clear();
    // Row 0: a new patient clears the grid first.
    void ShowPatient(const QString& id, const QString& firstName, const QString& lastName);
    // Overwrites the cell of the same parameter and place, or fills the next free cell; when the
    // grid is full, the top-right cell of row 0 says "More values >>", or the grid says it
    // beside itself when that cell holds a name. time: when the value was measured.
    void ShowValue(const QString& latestValueText, const QDateTime& time = {});
    // The same for a value whose text is written only when its cell is read.
    void ShowValue(const PatientIdentity::LatestValueParts& parts, const QDateTime& time = {});
    // "More values >>" is due but row 0 has no cell for it besides the patient's ID and names
    // (three columns or fewer): the view shows it beside the grid.
    bool MoreValuesAside() const { return m_moreValuesAside; }

signals:
    void changed();

private:
    // A cell's text, or the parts of a value whose text is written when it is first read.
    struct Entry {
        mutable QString written;
        PatientIdentity::LatestValueParts parts;
        bool hasParts = false;
        bool plainKey = false;    // parts whose name and place hold no "="
        mutable bool due = false; // written does not hold the parts' text yet
        QDateTime time;
        const QString& text() const;
        void setText(const QString& value);
        bool filled() const { return hasParts || !written.isEmpty(); }
    };
    // A value's key: its text up to and including the first "=", in up to four pieces.
    struct Key;
    static Key keyOf(const Entry& entry);
    static Key keyOf(const PatientIdentity::LatestValueParts& parts, bool plain);
    static Key keyOf(QStringView text);
    // Puts the value into the cell whose key matches, or the next free one.
    template <typename Matches, typename Value>
    void showValue(const Matches& matches, const Value& value, const QDateTime& time);

    Entry& entry(int column, int row);
    void setValue(Entry& target, const QString& text, const QDateTime& time);
    void setValue(Entry& target, const PatientIdentity::LatestValueParts& parts,
                  const QDateTime& time);
    // Says "More values >>" in a column of row 0, or beside the grid when that column holds a
    // name.
    void markMoreValues(int column);

    int m_columns;
    int m_rows;
    std::vector<Entry> m_cells;
    bool m_moreValuesAside = false;
};
