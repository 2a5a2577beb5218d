#pragma once

#include <QString>

// Size and last modification time of a file as the file system keeps them (to the nanosecond
// where it does), and which file holds the name (so that a file put in its place by a rename is
// told apart even within the time resolution of the file system), read with one system call.
// Used to tell whether a file changed since it was last read.
struct FileStamp {
    qint64 size = -1; // -1: the file does not exist or cannot be examined
    qint64 modified = 0;
    qint64 identity = 0; // the file's number in its file system, or its creation time
    qint64 changed = 0;  // the last change of the file or of its name, where this is kept
    bool operator==(const FileStamp& other) const = default;

    static FileStamp of(const QString& fileName);
};
