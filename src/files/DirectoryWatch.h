#pragma once

#include <functional>

#include <QSet>
#include <QString>

#include "FileSnapshot.h"

class FileWatchHub;

// The working part of a started file notification. Folder mode watches a folder (and, with
// subtree, every folder below it) and reports every change; file mode watches the folder that
// holds one file and reports only when the file's watched properties really changed. A report
// asks the owner's delay timer to start.
class DirectoryWatch {
public:
    struct Target {
        QString directory;
        QString fileName; // file mode when not empty
        bool subtree = false;
        unsigned filter = 0;
        // Folder mode: a folder that does not exist yet is awaited in its parent and watched
        // once it appears (its appearance is a change).
        bool awaitFolder = false;
    };

    DirectoryWatch(FileWatchHub& hub, Target target, std::function<void()> requestDelay,
                   std::function<void(const QString&)> reportFailure);
    ~DirectoryWatch();
    DirectoryWatch(const DirectoryWatch&) = delete;
    DirectoryWatch& operator=(const DirectoryWatch&) = delete;

    // The folder a file-mode watch watches: everything before the last "\", "/" or ":"; a path
    // ending in a drive letter's ":" gets "\" (a file in a drive's root watches the drive root),
    // and a separator that is the very first character is kept (the root of the file system).
    static QString FileModeFolder(const QString& fileName);

    // Whether the system refused a watch this one needed (a watch limit was reached).
    bool Refused() const { return m_refused; }
    // Whether the watched folder is missing and awaited in its parent.
    bool Awaiting() const { return m_awaiting; }

    // From the hub: a watched path changed; stillWatched is false when it went away.
    void PathChanged(const QString& path, bool stillWatched);

private:
    void begin();
    void watch(const QString& path);
    void watchTree(const QString& folder);
    void awaitFolder();
    void folderChanged(const QString& path, bool stillWatched);
    void fileChanged();
    void end();

    FileWatchHub& m_hub;
    Target m_target;
    std::function<void()> m_requestDelay;
    std::function<void(const QString&)> m_reportFailure;
    QString m_folder; // the folder watched, or awaited
    QSet<QString> m_watched;
    FileSnapshot m_snapshot;
    bool m_awaiting = false;
    bool m_refused = false;
};
