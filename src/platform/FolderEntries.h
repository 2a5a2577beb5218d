#pragma once

#include <functional>

#include <QByteArrayView>
#include <QString>

// One entry of a folder as the system lists it: the name in the system's own encoding, the size,
// the last modification time (in the system's units) and whether it is a folder (symbolic links
// are not followed).
struct FolderEntry {
    QByteArrayView name;
    qint64 size = 0;
    qint64 modified = 0;
    bool isFolder = false;

    QString nameText() const;
};

// Calls visit for every entry of the folder other than "." and "..", in the order the system
// lists them, with as few system calls as the platform allows. False when the folder cannot be
// read.
bool forEachFolderEntry(const QString& folder,
                        const std::function<void(const FolderEntry&)>& visit);
