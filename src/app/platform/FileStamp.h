#pragma once

#include <QString>

// Size and last modification time of a file as the file system keeps them (to the nanosecond
// where it does), read with one system call. Used to tell whether a file changed since it was
// last read.
struct FileStamp {
    qint64 size = -1; // -1: the file does not exist or cannot be examined
    qint64 modified = 0;
    bool operator==(const FileStamp& other) const = default;

    static FileStamp of(const QString& fileName);
};
