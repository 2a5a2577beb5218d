#pragma once

#include <functional>
#include <memory>

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QMultiHash>
#include <QMutex>
#include <QSet>
#include <QString>

#include "TATFileNotifyOption.h"
#include "TOldTimer.h"
#include "TimerSource.h"

class TATFileNotification;

// One notification source that many notifications share: the system gives each process only a
// few notification instances, so every watcher of a monitor registers its paths here. A change
// of a path is passed to every notification that registered it.
class FileWatchHub {
public:
    FileWatchHub();
    FileWatchHub(const FileWatchHub&) = delete;
    FileWatchHub& operator=(const FileWatchHub&) = delete;

    // False when the system refuses to watch the path (it is missing, or a watch limit is
    // reached).
    bool Watch(const QString& path, TATFileNotification* client);
    void Unwatch(const QString& path, TATFileNotification* client);
    void UnwatchAll(TATFileNotification* client);
    // A notification tells the hub that its watching begins and ends, so that no change
    // reaches one that has ended.
    void Attach(TATFileNotification* client);
    void Detach(TATFileNotification* client);

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
    QMultiHash<QString, TATFileNotification*> m_clients;
    QSet<TATFileNotification*> m_alive;
    int m_pathLimit = -1;
    int m_deliveries = 0;
};

// Watches a folder (folder mode) or one file (file mode) and raises OnChanged on the main
// thread after a change; changes that come within 100 ms of the first are reported once.
// Setting Directory to a new value clears FileName and the other way round; the notification
// is in file mode while FileName is not empty. Folder mode watches the folder (and, with
// Subtree, every folder below it, including those created later) and reports every change; file
// mode watches the folder that holds the file and reports only when the file's watched
// properties really changed. Start and Stop are serialised; a started notification whose
// folder cannot be watched stays started and reports nothing.
class TATFileNotification {
public:
    static constexpr int kDelayMs = 100;
    static constexpr TATFileNotifyOptions kDefaultOptions =
        foNotifyFilename | foNotifyDirname | foNotifyLastWrite;

    // hub: the notification source shared with other watchers; one of its own when not given.
    explicit TATFileNotification(TimerSource& timers = TimerSource::system(),
                                 FileWatchHub* hub = nullptr);
    virtual ~TATFileNotification();
    TATFileNotification(const TATFileNotification&) = delete;
    TATFileNotification& operator=(const TATFileNotification&) = delete;

    std::function<void(TATFileNotification&)> OnChanged;
    // Where the failures of the watching machinery go ("Exception while ..."): a message box
    // with a window, the event log without.
    std::function<void(const QString&)> OnFailure;

    TATFileNotifyOptions Options() const { return m_options; }
    void SetOptions(TATFileNotifyOptions options) { m_options = options; }
    bool Subtree() const { return m_subtree; }
    void SetSubtree(bool subtree) { m_subtree = subtree; }
    const QString& Directory() const { return m_directory; }
    void SetDirectory(const QString& directory);
    const QString& FileName() const { return m_fileName; }
    void SetFileName(const QString& fileName);
    // Folder mode: a folder that does not exist yet is awaited in its parent and watched from
    // the moment it appears (its appearance is a change).
    void SetAwaitFolder(bool await) { m_awaitFolder = await; }
    // Off: Start marks the notification started without watching anything (changes then come
    // only from elsewhere, for example a polling scan).
    void SetUseNotifications(bool use) { m_useNotifications = use; }

    void Start();
    void Stop();
    bool Active() const { return m_active; }

    // Whether a change waits for the end of the 100 ms delay.
    bool ChangePending() const { return m_delay.Enabled(); }
    // Whether the system refused to watch a path this notification needed (a watch limit was
    // reached).
    bool NotificationsRefused() const { return m_watching && m_refused; }

    // The filter bits of a set of options.
    static unsigned FilterOf(TATFileNotifyOptions options) { return options; }
    // The folder a file-mode notification watches: everything before the last "\", "/" or
    // ":"; a path ending in a drive letter's ":" gets "\" (a file in a drive's root watches the
    // drive root), and a separator that is the very first character is kept (the root of the
    // file system).
    static QString FileModeFolder(const QString& fileName);

protected:
    TimerSource& m_timers;

private:
    friend class FileWatchHub;

    // What file mode compares: whether the file exists, its size, attribute bits and times.
    struct Snapshot {
        bool exists = false;
        qint64 size = 0;
        unsigned attributes = 0;
        QDateTime lastWrite;
        QDateTime creation;
        QDateTime lastAccess;

        static Snapshot take(const QString& path);
        // Whether other differs in existence or in a property the filter watches.
        bool differsUnder(const Snapshot& other, unsigned filter) const;
    };

    void beginWatching();
    void endWatching();
    void watch(const QString& path);
    void watchTree(const QString& folder);
    void awaitFolder();
    void unwatchAll();
    // From the hub: a watched path changed; stillWatched is false when it went away.
    void pathChanged(const QString& path, bool stillWatched);
    void folderChanged(const QString& path, bool stillWatched);
    void fileChanged();
    void delayTick();
    void reportFailure(const QString& text);

    std::unique_ptr<FileWatchHub> m_ownHub;
    FileWatchHub* m_hub;
    QMutex m_lock;
    TOldTimer m_delay;
    TATFileNotifyOptions m_options = kDefaultOptions;
    bool m_subtree = false;
    bool m_awaitFolder = false;
    bool m_useNotifications = true;
    bool m_active = false;
    QString m_directory;
    QString m_fileName;

    // While started with notifications: what Start took from the properties, and what is
    // watched.
    bool m_watching = false;
    QString m_watchedFile; // file mode when not empty
    bool m_watchedSubtree = false;
    bool m_watchedAwait = false;
    unsigned m_filter = 0;
    QString m_folder; // the folder watched, or awaited
    QSet<QString> m_watched;
    Snapshot m_snapshot;
    bool m_awaiting = false;
    bool m_refused = false;
};
