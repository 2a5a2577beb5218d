#pragma once

#include <memory>
#include <vector>

#include <QString>

#include "TEventSerie.h"
#include "TMicroReader.h"
#include "TMonitorInfo.h"
#include "TParameterSerie.h"

// Something found wrong while reading a stored file.
struct TFileProblem {
    enum class Kind {
        ChecksumMismatch,
        IndexGap,
        PointForMissingSerie,
        TruncatedRecord,
        // A record that claims more bytes than the file holds while readable records follow
        // it: not a write cut short at the end, but damage in the middle. Nothing may be
        // appended to such a file (the records after the damage would be lost to readers).
        DamagedRecord,
        // A record no writer puts where it stands (a second root record), or bytes after the
        // end of a checksummed stream; readers skip them.
        UnexpectedRecord,
        Unreadable
    };
    Kind kind;
    qint64 offset; // byte position in the file, -1 when it has none
    QString text;
};

QString problemKindName(TFileProblem::Kind kind);

// What reading a stored file gave: its header facts, the objects in file order and the problems.
struct TStoredFileContent {
    qint32 versionMajor = 0;
    qint32 versionMinor = 0;
    bool checksums = false;
    TMicroReader::HeaderLayout layout = TMicroReader::HeaderLayout::RootFolding;
    qint32 fileKind = 0;
    qint32 reserved = 0;
    QString patientId;   // file information, when present
    QString patientName; // file information, when present
    std::vector<std::unique_ptr<TStreamObject>> objects;
    bool checksumValid = true;
    qint64 reservedOffset = -1; // tag of the reserved space record
    qint32 reservedSize = 0;
    qint64 validEnd = 0; // end of the last complete record
    std::vector<TFileProblem> problems;

    std::vector<const TParameterSerie*> series() const;
    std::vector<const TMonitorInfo*> monitors() const;
    const TEventSerie* eventSerie() const;
    bool hasProblem(TFileProblem::Kind kind) const;
    bool damaged() const { return hasProblem(TFileProblem::Kind::DamagedRecord); }
};
