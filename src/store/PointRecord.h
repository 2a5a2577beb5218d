#pragma once

#include <QString>
#include <QVarLengthArray>

#include "ZelTypes.h"

// The bytes of one appended record of a patient data file (a result point or a series break),
// as TMicroWriter writes them outside checksum mode, built in place: a record with short texts
// costs no allocation.
class PointRecord {
public:
    static PointRecord point(qint16 index, TAnalyseResult status, qint32 attemptNo,
                             const QString& vialId, const QString& statusText, double value,
                             double time);
    static PointRecord serieBreak(qint16 index, double time);

    const char* data() const { return m_bytes.constData(); }
    qsizetype size() const { return m_bytes.size(); }

private:
    // Opens the record: its tag, and room for its size, filled in by finish().
    void begin(qint32 tag);
    void finish();
    void put(const void* bytes, qsizetype count) {
        m_bytes.append(static_cast<const char*>(bytes), count);
    }
    template <typename Number> void putNumber(Number value);
    // int32 (length + 4), int32 1, the characters in the 8-bit code page.
    void putString(const QString& text);

    QVarLengthArray<char, 192> m_bytes;
};
