#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

#include "FolderEntries.h"
#include "TATFileNotification.h"
#include "TMyFileNotification.h"

class Clock;
class EventLog;

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
// network share, through a polling scan that compares each archive's listing (names, sizes and
// modification times of everything in it). The scan reads the listing only of the archives
// whose folders' own stamps changed, and of a rotating slice of all archives per scan, which
// finds a file rewritten in place (that leaves its folder's stamp as it was).
class FolderMonitor : public QObject {
    Q_OBJECT

public:
    static constexpr auto kMonitoringCaption = "Monitoring: ";
    static constexpr auto kUpdateCaption = "Update from: ";
    // Each scan reads the listing of at least this many archives, and of so many that every
    // archive is read within kFullCheckScans scans.
    static constexpr int kFullCheckMinimum = 16;
    static constexpr int kFullCheckScans = 10;
    // A folder's unchanged stamp is trusted once it has been seen this long: changes within
    // the file system's time-stamp granularity of the last look leave the stamp as it was.
    static constexpr int kStampSettleMs = 2000;

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
    // How many times an archive's listing has been read so far.
    int ListingsRead() const { return m_listingsRead; }
    // Scans needed to read every polled archive's listing once.
    int FullCheckRound() const;
    // How long an unchanged stamp must have been seen before it is trusted (for tests, which
    // run on a local disk with a fine time stamp).
    void SetStampSettleMs(int ms) { m_stampSettleMs = ms; }

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
    // What the polling scan knows of a folder (or a set of folders): their stamps when it last
    // looked inside, and whether those stamps are settled enough to stand for what the folders
    // hold.
    struct Look {
        std::vector<FolderStamp> stamps;
        qint64 firstSeenMs = -1; // when these stamps were first read
        bool settled = false;

        bool mustLook(const std::vector<FolderStamp>& now) const {
            return !settled || now != stamps;
        }
        // The stamps were read at atMs, before looking inside.
        void looked(std::vector<FolderStamp> now, qint64 atMs, int settleMs);
    };
    // An archive: its listing's fingerprint and the folders it holds (itself first).
    struct ArchiveScan {
        Look look;
        QStringList folders;
        quint64 listing = 0;
        bool read = false;
    };
    // A patient folder: whether its archive is wanted (not a link out of it), and whether the
    // archive is a link (whose target may change without any stamp here changing).
    struct PatientFolderScan {
        Look look;
        bool archiveWanted = false;
        bool archiveIsLink = false;
    };

    // Lists the data root again only when asked to; each patient folder's archive is judged
    // again when the patient folder's stamp changed.
    QStringList wantedFolders(bool listRoot);
    void removeWatchersNotIn(const QStringList& wanted);
    void addWatcher(const QString& path);
    void applyPolling();
    void reportFailure(const QString& text);
    // Reads the archive's listing; true when it differs from the one seen before.
    bool readListing(const QString& path, ArchiveScan& scan);
    // Whether the stamps of the archive's folders say that it must be looked into.
    bool stampsChanged(const ArchiveScan& scan) const;
    void forgetScans();

    FolderMonitorContext m_context;
    FolderMonitorSettings m_settings;
    // Archive folders left out because they are links out of their patient's folder (logged
    // once each).
    mutable QSet<QString> m_linksSkipped;
    std::unique_ptr<FileWatchHub> m_hub;
    TATFileNotification m_dataRoot;
    std::vector<std::unique_ptr<TMyFileNotification>> m_patientWatchers;
    QHash<QString, ArchiveScan> m_archives;             // per archive path, as last seen
    QHash<QString, PatientFolderScan> m_patientFolders; // per folder name
    QStringList m_patientFolderNames;                   // of the data root's last listing
    Look m_rootLook;
    QStringList m_lastWanted;
    QElapsedTimer m_uptime;
    int m_stampSettleMs = kStampSettleMs;
    int m_rotation = 0; // where the next slice of full checks begins
    int m_listingsRead = 0;
    std::unique_ptr<RepeatingTimer> m_pollTimer;
    QString m_updateText;
    bool m_initialScanDone = false;
    bool m_refusalLogged = false;
    bool m_closed = false;
};
