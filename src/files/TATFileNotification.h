#pragma once

#include <functional>
#include <memory>

#include <QMutex>
#include <QString>

#include "TATFileNotifyOption.h"
#include "TOldTimer.h"
#include "TimerSource.h"

class DirectoryWatch;
class FileWatchHub;

// Watches a folder (folder mode) or one file (file mode) and raises OnChanged on the main
// thread after a change; changes that come within 100 ms of the first are reported once.
// Setting Directory to a new value clears FileName and the other way round; the notification
// is in file mode while FileName is not empty. Start and Stop are serialised; a started
// notification whose folder cannot be watched stays started and reports nothing.
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
    // Folder mode: a folder that does not exist yet is watched from the moment it appears.
    void SetAwaitFolder(bool await) { m_awaitFolder = await; }
    // Off: Start marks the notification started without watching anything (changes then come
    // only from elsewhere, for example a polling scan).
    void SetUseNotifications(bool use) { m_useNotifications = use; }

    void Start();
    void Stop();
    bool Active() const { return m_active; }

    // Whether a change waits for the end of the 100 ms delay.
    bool ChangePending() const { return m_delay.Enabled(); }
    // Whether the system refused to watch a path this notification needed.
    bool NotificationsRefused() const;

    // The filter bits of a set of options.
    static unsigned FilterOf(TATFileNotifyOptions options) { return options; }

protected:
    TimerSource& m_timers;

private:
    void delayTick();
    void reportFailure(const QString& text);

    std::unique_ptr<FileWatchHub> m_ownHub;
    FileWatchHub* m_hub;
    QMutex m_lock;
    TOldTimer m_delay;
    std::unique_ptr<DirectoryWatch> m_worker;
    TATFileNotifyOptions m_options = kDefaultOptions;
    bool m_subtree = false;
    bool m_awaitFolder = false;
    bool m_useNotifications = true;
    bool m_active = false;
    QString m_directory;
    QString m_fileName;
};
