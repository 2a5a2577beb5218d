#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

#include "TATFileNotification.h"
#include "TMyFileNotification.h"

class Clock;
class EventLog;
class FileWatchHub;

// What folder monitoring needs from the collector.
struct FolderMonitorContext {
    EventLog& log;
    const Clock& clock;
    TimerSource& timers;
    // Rebuilds the patient's data file from its archive, storing whether or not the patient is
    // collected.
    std::function<void(const QString& patientId)> recreatePatient;
};

struct FolderMonitorSettings {
    QString dataRoot; // ends with a separator
    bool monitoring = false;
    // Seconds between polling scans of the watched archives; 0 polls only the folders the
    // system refuses to watch.
    int pollSeconds = 10;
    // Off: changes are seen only by the polling scan.
    bool notifications = true;
};

// Keeps this collector's view of every patient current while several collectors share one data
// root: each patient folder's archive ("XML-files") is watched, and a patient is rebuilt five
// seconds after the first change of a burst in its archive. Changes are seen through the
// system's notifications and, since those do not report what another machine writes into a
// network share, through a polling scan that compares each archive's listing.
class FolderMonitor : public QObject {
    Q_OBJECT

public:
    static constexpr auto kMonitoringCaption = "Monitoring: ";
    static constexpr auto kUpdateCaption = "Update from: ";

    explicit FolderMonitor(FolderMonitorContext context, QObject* parent = nullptr);
    ~FolderMonitor() override;

    // The first showing of the collector: the data root is watched and scanned; the patient
    // folders found are watched but not rebuilt.
    void FirstShowing(const FolderMonitorSettings& settings);
    // Monitoring was switched on or off (the new value is in settings.monitoring). Switched
    // on, rebuildAll rebuilds every patient folder five seconds after its watcher starts;
    // without it the folders are only watched.
    void MonitoringSwitched(bool monitoring, bool rebuildAll);
    // The data root's folders changed: watchers follow the patient folders.
    void ATFileNotificationDataRootChanged();
    // Rebuilds the patient whose archive the path is.
    void UpdateFromFolder(const QString& path);
    // Stops every watcher and the polling scan.
    void Close();
    // One polling scan now.
    void Poll();

    bool InitialScanDone() const { return m_initialScanDone; }
    const std::vector<std::unique_ptr<TMyFileNotification>>& PatientWatchers() const {
        return m_patientWatchers;
    }
    const TATFileNotification& DataRootWatcher() const { return m_dataRoot; }
    bool Polling() const;
    FileWatchHub& Hub() { return *m_hub; }

    // The patient ID of an archive path: its patient folder's name.
    static QString PatientFromPath(const QString& path);

signals:
    // "Monitoring: " + data root while monitoring, empty (hidden) otherwise.
    void monitoringTextChanged(const QString& text);
    // "Update from: " + patient + " At: " + time of the last update; empty (hidden) while not
    // monitoring.
    void updateTextChanged(const QString& text);
    // A patient was rebuilt after a change of its archive.
    void patientUpdated(const QString& patientId);

private:
    QStringList wantedFolders() const;
    void removeWatchersNotIn(const QStringList& wanted);
    void addWatcher(const QString& path);
    void applyPolling();
    void reportFailure(const QString& text);

    FolderMonitorContext m_context;
    FolderMonitorSettings m_settings;
    // Archive folders left out because they are links out of their patient's folder (logged
    // once each).
    mutable QSet<QString> m_linksSkipped;
    std::unique_ptr<FileWatchHub> m_hub;
    TATFileNotification m_dataRoot;
    std::vector<std::unique_ptr<TMyFileNotification>> m_patientWatchers;
    QHash<QString, quint64> m_listings; // per archive path, as last seen
    QStringList m_lastWanted;
    std::unique_ptr<RepeatingTimer> m_pollTimer;
    QString m_updateText;
    bool m_initialScanDone = false;
    bool m_refusalLogged = false;
    bool m_closed = false;
};
