#include "TATFileNotification.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace {

constexpr auto kCreatingFailure = "Exception while creating thread";
constexpr auto kTerminatingFailure = "Exception while terminating thread";
constexpr auto kWaitingFailure = "Exception while waiting for notification";

QString parentOf(const QString& folder) {
    return QFileInfo(folder).absolutePath();
}

} // namespace

FileWatchHub::FileWatchHub() {
    const auto changed = [this](const QString& path) {
        this->changed(path);
    };
    QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_watcher, changed);
    QObject::connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_watcher, changed);
}

bool FileWatchHub::Watch(const QString& path, TATFileNotification* client) {
    if (m_clients.contains(path, client))
        return true;
    if (!m_clients.contains(path)) {
        if (m_pathLimit >= 0 && WatchedPaths() >= m_pathLimit)
            return false;
        if (!m_watcher.addPath(path))
            return false;
    }
    m_clients.insert(path, client);
    return true;
}

void FileWatchHub::Unwatch(const QString& path, TATFileNotification* client) {
    if (m_clients.remove(path, client) == 0 || m_clients.contains(path))
        return;
    m_watcher.removePath(path);
}

void FileWatchHub::UnwatchAll(TATFileNotification* client) {
    QStringList paths;
    for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it) {
        if (it.value() == client)
            paths << it.key();
    }
    for (const QString& path : paths)
        Unwatch(path, client);
}

void FileWatchHub::Attach(TATFileNotification* client) {
    m_alive.insert(client);
}

void FileWatchHub::Detach(TATFileNotification* client) {
    UnwatchAll(client);
    m_alive.remove(client);
}

int FileWatchHub::WatchedPaths() const {
    return int(m_watcher.files().size() + m_watcher.directories().size());
}

void FileWatchHub::changed(const QString& path) {
    ++m_deliveries;
    // A path that went away is no longer watched by the system; its clients decide what next.
    if (!m_watcher.files().contains(path) && !m_watcher.directories().contains(path)) {
        const QList<TATFileNotification*> gone = m_clients.values(path);
        m_clients.remove(path);
        for (TATFileNotification* client : gone) {
            if (m_alive.contains(client))
                client->pathChanged(path, false);
        }
        return;
    }
    // A client may stop watching (or end) while an earlier one is told.
    const QList<TATFileNotification*> clients = m_clients.values(path);
    for (TATFileNotification* client : clients) {
        if (m_alive.contains(client) && m_clients.contains(path, client))
            client->pathChanged(path, true);
    }
}

TATFileNotification::TATFileNotification(TimerSource& timers, FileWatchHub* hub)
    : m_timers(timers), m_ownHub(hub ? nullptr : std::make_unique<FileWatchHub>()),
      m_hub(hub ? hub : m_ownHub.get()), m_delay(timers) {
    m_delay.SetEnabled(false);
    m_delay.SetInterval(kDelayMs);
    m_delay.SetOnTimer([this] { delayTick(); });
}

TATFileNotification::~TATFileNotification() {
    Stop();
}

void TATFileNotification::SetDirectory(const QString& directory) {
    if (directory == m_directory)
        return;
    m_directory = directory;
    m_fileName.clear();
}

void TATFileNotification::SetFileName(const QString& fileName) {
    if (fileName == m_fileName)
        return;
    m_fileName = fileName;
    m_directory.clear();
}

QString TATFileNotification::FileModeFolder(const QString& fileName) {
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

void TATFileNotification::Start() {
    QMutexLocker lock(&m_lock);
    if (m_active)
        return;
    try {
        if (m_useNotifications)
            beginWatching();
        m_active = true;
    } catch (const std::exception&) {
        endWatching();
        reportFailure(QLatin1String(kCreatingFailure));
    }
}

void TATFileNotification::Stop() {
    QMutexLocker lock(&m_lock);
    if (!m_active)
        return;
    try {
        endWatching();
    } catch (const std::exception&) {
        reportFailure(QLatin1String(kTerminatingFailure));
    }
    m_active = false;
}

void TATFileNotification::beginWatching() {
    m_watching = true;
    m_hub->Attach(this);
    m_watchedFile = m_fileName;
    m_watchedSubtree = m_subtree;
    m_watchedAwait = m_awaitFolder;
    m_filter = FilterOf(m_options);
    if (!m_watchedFile.isEmpty()) {
        // File mode: no subtree, and neither folder names nor security are of interest.
        m_watchedSubtree = false;
        m_filter &= ~unsigned(foNotifyDirname | foNotifySecurity);
        m_folder = QDir::cleanPath(FileModeFolder(m_watchedFile));
        m_snapshot = Snapshot::take(m_watchedFile);
        watch(m_folder);
        // Writes into the file itself are seen only on the file.
        if (m_snapshot.exists)
            watch(m_watchedFile);
        return;
    }
    m_folder = QDir::cleanPath(m_directory);
    if (QFileInfo(m_folder).isDir())
        watchTree(m_folder);
    else if (m_watchedAwait)
        awaitFolder();
    // Otherwise nothing can be watched; the notification stays started and silent.
}

void TATFileNotification::endWatching() {
    if (!m_watching)
        return;
    m_hub->Detach(this);
    m_watched.clear();
    m_awaiting = false;
    m_refused = false;
    m_watching = false;
}

void TATFileNotification::watch(const QString& path) {
    if (m_watched.contains(path))
        return;
    if (m_hub->Watch(path, this))
        m_watched.insert(path);
    else if (QFileInfo::exists(path))
        m_refused = true;
}

void TATFileNotification::watchTree(const QString& folder) {
    watch(folder);
    if (!m_watchedSubtree)
        return;
    QDirIterator below(folder, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                       QDirIterator::Subdirectories);
    while (below.hasNext())
        watch(QDir::cleanPath(below.next()));
}

void TATFileNotification::awaitFolder() {
    m_awaiting = true;
    watch(parentOf(m_folder));
}

void TATFileNotification::unwatchAll() {
    m_hub->UnwatchAll(this);
    m_watched.clear();
}

void TATFileNotification::pathChanged(const QString& path, bool stillWatched) {
    if (!stillWatched)
        m_watched.remove(path);
    try {
        if (m_watchedFile.isEmpty())
            folderChanged(path, stillWatched);
        else
            fileChanged();
    } catch (const std::exception&) {
        unwatchAll();
        reportFailure(QLatin1String(kWaitingFailure));
    }
}

void TATFileNotification::folderChanged(const QString& path, bool stillWatched) {
    if (m_awaiting) {
        if (!QFileInfo(m_folder).isDir())
            return; // something else changed in the parent
        m_hub->Unwatch(parentOf(m_folder), this);
        m_watched.remove(parentOf(m_folder));
        m_awaiting = false;
        watchTree(m_folder);
        m_delay.SetEnabled(true);
        return;
    }
    if (!QFileInfo(m_folder).isDir()) {
        // The watched folder went away: what it held is gone, which is a change; it is awaited
        // again when the owner wants that.
        unwatchAll();
        if (m_watchedAwait)
            awaitFolder();
        m_delay.SetEnabled(true);
        return;
    }
    if (m_watchedSubtree && stillWatched)
        watchTree(path); // folders created below are watched from now on
    m_delay.SetEnabled(true);
}

void TATFileNotification::fileChanged() {
    const Snapshot now = Snapshot::take(m_watchedFile);
    if (now.exists)
        watch(m_watchedFile);
    if (!now.differsUnder(m_snapshot, m_filter))
        return;
    m_snapshot = now;
    m_delay.SetEnabled(true);
}

void TATFileNotification::delayTick() {
    m_delay.SetEnabled(false);
    if (OnChanged)
        OnChanged(*this);
}

void TATFileNotification::reportFailure(const QString& text) {
    if (OnFailure)
        OnFailure(text);
}

TATFileNotification::Snapshot TATFileNotification::Snapshot::take(const QString& path) {
    QFileInfo info(path);
    info.setCaching(false);
    Snapshot snapshot;
    snapshot.exists = info.exists();
    if (!snapshot.exists)
        return snapshot;
    snapshot.size = info.size();
    // The attribute bits of this platform: permissions, and hidden (a leading dot elsewhere
    // than on Windows).
    snapshot.attributes = unsigned(info.permissions()) | (info.isHidden() ? 0x80000000u : 0u);
    snapshot.lastWrite = info.lastModified();
    snapshot.creation = info.birthTime();
    snapshot.lastAccess = info.lastRead();
    return snapshot;
}

bool TATFileNotification::Snapshot::differsUnder(const Snapshot& other, unsigned filter) const {
    if (exists != other.exists)
        return true;
    return ((filter & foNotifyAttributes) && attributes != other.attributes) ||
           ((filter & foNotifySize) && size != other.size) ||
           ((filter & foNotifyLastWrite) && lastWrite != other.lastWrite) ||
           ((filter & foNotifyLastAccess) && lastAccess != other.lastAccess) ||
           ((filter & foNotifyCreation) && creation != other.creation);
}
