#pragma once

#include <functional>

#include <QByteArrayView>
#include <QString>

// One entry of a folder as the system lists it: the name in the system's own encoding, the size,
// the last modification time (in the system's units) and whether it is a folder, a plain file or
// a link (symbolic links are not followed: a link is neither a folder nor a plain file).
struct FolderEntry {
    QByteArrayView name;
    qint64 size = 0;
    qint64 modified = 0;
    bool isFolder = false;
    bool isFile = false;
    bool isLink = false;

    QString nameText() const;
};

// Calls visit for every entry of the folder other than "." and "..", in the order the system
// lists them, with as few system calls as the platform allows. False when the folder cannot be
// read.
bool forEachFolderEntry(const QString& folder,
                        const std::function<void(const FolderEntry&)>& visit);

// A folder's own stamp: its modification and change times, which move when an entry is created,
// removed or renamed in it (not when a file in it is rewritten in place), and its identity.
// A path that is not a folder (or cannot be read) has exists false.
struct FolderStamp {
    bool exists = false;
    bool isLink = false; // the path itself is a symbolic link; the rest is of where it leads
    qint64 modified = 0;
    qint64 changed = 0;
    quint64 device = 0;
    quint64 identity = 0;

    friend bool operator==(const FolderStamp&, const FolderStamp&) = default;
};

FolderStamp folderStampOf(const QString& folder);
