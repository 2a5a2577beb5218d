#pragma once

#include <QByteArray>

#include "StoredFileContent.h"
#include "TPlotSerie.h"

// Reads a stored file of any kind with the general record handler, which hands monitor data
// files to the monitor data handler: monitor information, series definitions and the points
// appended after them. Records of other kinds belong to the analysis programs and are skipped.
class StoredFileParser {
public:
    // stopAtReservedSpace: reading ends at the reserved space record, as when a file is checked
    // before writing to it. Throws the stream layer's failures for files it cannot read.
    // keepPoints: the points are read into their series; without it they are only checked
    // (reading the series of a large file for storing one more value is then cheap).
    static TStoredFileContent parse(const QByteArray& data, bool stopAtReservedSpace = false,
                                    bool keepPoints = true);

    // Reads as much as can be read: a failure becomes an "unreadable" problem at the record
    // where it happened, and what was read before it is kept. For inspecting damaged files.
    static TStoredFileContent parseTolerant(const QByteArray& data);

    // Attaches a point to its series: the object at list position index + 1 when it is the
    // series of that index. Returns false when there is no such series.
    static bool attachPoint(std::vector<std::unique_ptr<TStreamObject>>& objects, qint16 index,
                            TSeriesPoint point);

    // Parses the payload of a point record (220, 221, 222 or 85); false when it is damaged.
    static bool parsePoint(qint32 tag, const QByteArray& payload, bool lengthIncludesCharSize,
                           qint16& index, TSeriesPoint& point);

    // True when the bytes from offset to the end of the data are a record cut short by an
    // interrupted append: the tag of a point record (or the first bytes of one) that claims more
    // bytes than are left, with no complete point record anywhere after it. Only such a tail
    // may be cut off before appending; anything else there is damage.
    static bool isCutTail(const QByteArray& data, qint64 offset);

private:
    static TStoredFileContent parseWith(const QByteArray& data, bool stopAtReservedSpace,
                                        bool tolerant, bool keepPoints);
};
