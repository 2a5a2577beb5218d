#pragma once

#include <QString>

// Reads one value of a Windows-style ini file the way Windows programs do: section and key
// names compare case-insensitively, values are taken literally (backslashes are path
// separators, not escapes), surrounding blanks and one pair of quotes are removed.
class IniFile {
public:
    enum class Status { Found, KeyMissing, FileUnreadable };

    struct Lookup {
        Status status = Status::FileUnreadable;
        QString value;
        QString failure; // FileUnreadable: why
    };

    // Files larger than this, or holding NUL bytes (a damaged file), are not read.
    static constexpr qint64 kLargestIniFile = 1 << 20;

    static Lookup read(const QString& filePath, const QString& section, const QString& key);
};
