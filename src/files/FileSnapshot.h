#pragma once

#include <QDateTime>
#include <QString>

// What a single-file watcher compares: whether the file exists, its size, attribute bits and
// times.
struct FileSnapshot {
    bool exists = false;
    qint64 size = 0;
    unsigned attributes = 0;
    QDateTime lastWrite;
    QDateTime creation;
    QDateTime lastAccess;

    static FileSnapshot Take(const QString& path);

    // Whether other differs in existence or in one of the properties the filter (a set of
    // TATFileNotifyOption bits) watches.
    bool DiffersUnder(const FileSnapshot& other, unsigned filter) const;
};
