#pragma once

#include <QFileSystemWatcher>
#include <QMultiHash>
#include <QObject>
#include <QSet>
#include <QString>

class DirectoryWatch;

// One notification source that many watches share: the system gives each process only a few
// notification instances, so every watcher of a monitor registers its paths here. A change of
// a path is passed to every watch that registered it.
class FileWatchHub : public QObject {
    Q_OBJECT

public:
    explicit FileWatchHub(QObject* parent = nullptr);

    // False when the system refuses to watch the path (it is missing, or a watch limit is
    // reached).
    bool Watch(const QString& path, DirectoryWatch* client);
    void Unwatch(const QString& path, DirectoryWatch* client);
    void UnwatchAll(DirectoryWatch* client);
    // A watch tells the hub that it begins and ends, so that no change reaches an ended one.
    void Attach(DirectoryWatch* client);
    void Detach(DirectoryWatch* client);

    // Paths the system watches for this hub.
    int WatchedPaths() const;
    // At most this many paths are watched (further ones are refused as at the system's watch
    // limit); below 0, as many as the system allows.
    void SetPathLimit(int limit) { m_pathLimit = limit; }
    // Changes the system has reported so far.
    int Deliveries() const { return m_deliveries; }

private:
    void changed(const QString& path);

    QFileSystemWatcher m_watcher;
    QMultiHash<QString, DirectoryWatch*> m_clients;
    QSet<DirectoryWatch*> m_alive;
    int m_pathLimit = -1;
    int m_deliveries = 0;
};
