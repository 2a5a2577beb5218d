#include "DirectoryWatch.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include "FileWatchHub.h"
#include "TATFileNotifyOption.h"

namespace {

constexpr auto kWaitingFailure = "Exception while waiting for notification";

QString parentOf(const QString& folder) {
    return QFileInfo(folder).absolutePath();
}

} // namespace

DirectoryWatch::DirectoryWatch(FileWatchHub& hub, Target target, std::function<void()> requestDelay,
                               std::function<void(const QString&)> reportFailure)
    : m_hub(hub), m_target(std::move(target)), m_requestDelay(std::move(requestDelay)),
      m_reportFailure(std::move(reportFailure)) {
    m_hub.Attach(this);
    begin();
}

DirectoryWatch::~DirectoryWatch() {
    m_hub.Detach(this);
}

QString DirectoryWatch::FileModeFolder(const QString& fileName) {
    qsizetype last = -1;
    for (qsizetype i = fileName.size() - 1; i >= 0; --i) {
        const QChar c = fileName.at(i);
        if (c == u'\\' || c == u'/' || c == u':') {
            last = i;
            break;
        }
    }
    QString folder = fileName.left(last + 1);
    if (last > 0 && fileName.at(last) != u':')
        folder.chop(1);
    if (folder.endsWith(u':'))
        folder += u'\\';
    return folder;
}

void DirectoryWatch::begin() {
    if (!m_target.fileName.isEmpty()) {
        // File mode: no subtree, and neither folder names nor security are of interest.
        m_target.subtree = false;
        m_target.filter &= ~unsigned(foNotifyDirname | foNotifySecurity);
        m_folder = QDir::cleanPath(FileModeFolder(m_target.fileName));
        m_snapshot = FileSnapshot::Take(m_target.fileName);
        watch(m_folder);
        // Writes into the file itself are seen only on the file.
        if (m_snapshot.exists)
            watch(m_target.fileName);
        return;
    }
    m_folder = QDir::cleanPath(m_target.directory);
    if (QFileInfo(m_folder).isDir())
        watchTree(m_folder);
    else if (m_target.awaitFolder)
        awaitFolder();
    // Otherwise nothing can be watched; the notification stays started and silent.
}

void DirectoryWatch::watch(const QString& path) {
    if (m_watched.contains(path))
        return;
    if (m_hub.Watch(path, this))
        m_watched.insert(path);
    else if (QFileInfo::exists(path))
        m_refused = true;
}

void DirectoryWatch::watchTree(const QString& folder) {
    watch(folder);
    if (!m_target.subtree)
        return;
    QDirIterator below(folder, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                       QDirIterator::Subdirectories);
    while (below.hasNext())
        watch(QDir::cleanPath(below.next()));
}

void DirectoryWatch::awaitFolder() {
    m_awaiting = true;
    watch(parentOf(m_folder));
}

void DirectoryWatch::PathChanged(const QString& path, bool stillWatched) {
    if (!stillWatched)
        m_watched.remove(path);
    try {
        if (m_target.fileName.isEmpty())
            folderChanged(path, stillWatched);
        else
            fileChanged();
    } catch (const std::exception&) {
        end();
        if (m_reportFailure)
            m_reportFailure(QLatin1String(kWaitingFailure));
    }
}

void DirectoryWatch::folderChanged(const QString& path, bool stillWatched) {
    if (m_awaiting) {
        if (!QFileInfo(m_folder).isDir())
            return; // something else changed in the parent
        m_hub.Unwatch(parentOf(m_folder), this);
        m_watched.remove(parentOf(m_folder));
        m_awaiting = false;
        watchTree(m_folder);
        m_requestDelay();
        return;
    }
    if (!QFileInfo(m_folder).isDir()) {
        // The watched folder went away: what it held is gone, which is a change; it is awaited
        // again when the owner wants that.
        end();
        if (m_target.awaitFolder)
            awaitFolder();
        m_requestDelay();
        return;
    }
    if (m_target.subtree && stillWatched)
        watchTree(path); // folders created below are watched from now on
    m_requestDelay();
}

void DirectoryWatch::fileChanged() {
    const FileSnapshot now = FileSnapshot::Take(m_target.fileName);
    if (now.exists)
        watch(m_target.fileName);
    if (!now.DiffersUnder(m_snapshot, m_target.filter))
        return;
    m_snapshot = now;
    m_requestDelay();
}

void DirectoryWatch::end() {
    m_hub.UnwatchAll(this);
    m_watched.clear();
}
