#include "FileWatchHub.h"

#include "DirectoryWatch.h"

FileWatchHub::FileWatchHub(QObject* parent) : QObject(parent) {
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &FileWatchHub::changed);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &FileWatchHub::changed);
}

bool FileWatchHub::Watch(const QString& path, DirectoryWatch* client) {
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

void FileWatchHub::Unwatch(const QString& path, DirectoryWatch* client) {
    if (m_clients.remove(path, client) == 0 || m_clients.contains(path))
        return;
    m_watcher.removePath(path);
}

void FileWatchHub::UnwatchAll(DirectoryWatch* client) {
    QStringList paths;
    for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it) {
        if (it.value() == client)
            paths << it.key();
    }
    for (const QString& path : paths)
        Unwatch(path, client);
}

void FileWatchHub::Attach(DirectoryWatch* client) {
    m_alive.insert(client);
}

void FileWatchHub::Detach(DirectoryWatch* client) {
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
        const QList<DirectoryWatch*> gone = m_clients.values(path);
        m_clients.remove(path);
        for (DirectoryWatch* client : gone) {
            if (m_alive.contains(client))
                client->PathChanged(path, false);
        }
        return;
    }
    // A client may stop watching (or end) while an earlier one is told.
    const QList<DirectoryWatch*> clients = m_clients.values(path);
    for (DirectoryWatch* client : clients) {
        if (m_alive.contains(client) && m_clients.contains(path, client))
            client->PathChanged(path, true);
    }
}
