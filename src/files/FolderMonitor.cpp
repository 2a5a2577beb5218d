#include "FolderMonitor.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>

#include "Clock.h"
#include "EventLog.h"
#include "PatientFolderLinks.h"
#include "XmlArchive.h"

namespace {

// Polling interval when the setting asks for none but some archive can be seen only by polling.
constexpr int kFallbackPollSeconds = 10;

// Spreads the bits so that the sum over entries does not cancel out.
quint64 mix(quint64 value) {
    value ^= value >> 33;
    value *= 0xff51afd7ed558ccdULL;
    value ^= value >> 33;
    value *= 0xc4ceb9fe1a85ec53ULL;
    value ^= value >> 33;
    return value;
}

// Adds the names, sizes and modification times of what the folder holds, also below it, to a
// fingerprint that differs when a file is added, removed, renamed or rewritten. Each folder's
// own stamp is read before its entries, so that a change made while they are read moves the
// stamp away from the one kept.
bool addFolder(const QString& folder, quint64 depthSeed, quint64& fingerprint,
               std::vector<FolderStamp>& stamps, QStringList& folders) {
    stamps.push_back(folderStampOf(folder));
    folders << folder;
    return forEachFolderEntry(folder, [&](const FolderEntry& entry) {
        const quint64 name = qHash(entry.name, size_t(depthSeed));
        const quint64 size = entry.isFolder ? ~quint64(0) : quint64(entry.size);
        // The sum does not depend on the order in which the system lists the entries.
        fingerprint +=
            mix(name ^ mix(size + 0x9e3779b97f4a7c15ULL) ^ mix(quint64(entry.modified) * 31 + 7));
        if (entry.isFolder)
            addFolder(folder + u'/' + entry.nameText(), mix(depthSeed + name), fingerprint, stamps,
                      folders);
    });
}

// The fingerprint of an archive's listing; 0 for a missing folder.
quint64 listingOf(const QString& folder, std::vector<FolderStamp>& stamps, QStringList& folders) {
    quint64 fingerprint = 1;
    return addFolder(folder, 0x5bd1e995, fingerprint, stamps, folders) ? fingerprint : 0;
}

} // namespace

void FolderMonitor::Look::looked(std::vector<FolderStamp> now, qint64 atMs, int settleMs) {
    if (firstSeenMs < 0 || now != stamps) {
        stamps = std::move(now);
        firstSeenMs = atMs;
        settled = false;
        return;
    }
    settled = atMs - firstSeenMs >= settleMs;
}

FolderMonitor::FolderMonitor(FolderMonitorContext context, QObject* parent)
    : QObject(parent), m_context(std::move(context)), m_hub(std::make_unique<FileWatchHub>()),
      m_dataRoot(m_context.timers, m_hub.get()), m_pollTimer(m_context.timers.create()) {
    m_dataRoot.SetOptions(foNotifyDirname | foNotifyCreation);
    m_dataRoot.SetAwaitFolder(true); // a data root made later is watched from then on
    m_dataRoot.OnChanged = [this](TATFileNotification&) {
        ATFileNotificationDataRootChanged();
    };
    m_dataRoot.OnFailure = [this](const QString& text) {
        reportFailure(text);
    };
    m_pollTimer->onTimeout = [this] {
        Poll();
    };
    m_uptime.start();
}

FolderMonitor::~FolderMonitor() {
    // The watchers end before the hub they registered with.
    m_patientWatchers.clear();
    m_dataRoot.Stop();
}

void FolderMonitor::FirstShowing(const FolderMonitorSettings& settings) {
    m_settings = settings;
    m_closed = false;
    if (settings.dataRoot.isEmpty())
        return; // start-up ended before the data root was known
    m_dataRoot.SetDirectory(QDir::cleanPath(settings.dataRoot));
    m_dataRoot.SetUseNotifications(settings.notifications);
    m_dataRoot.Start();
    ATFileNotificationDataRootChanged();
    // From now on a patient folder that appears is new and is rebuilt.
    m_initialScanDone = true;
}

void FolderMonitor::MonitoringSwitched(bool monitoring, bool rebuildAll) {
    m_settings.monitoring = monitoring;
    if (monitoring && !rebuildAll)
        m_initialScanDone = false;
    ATFileNotificationDataRootChanged();
}

void FolderMonitor::ATFileNotificationDataRootChanged() {
    if (m_closed || m_settings.dataRoot.isEmpty())
        return;
    if (!m_settings.monitoring) {
        emit monitoringTextChanged(QString());
        emit updateTextChanged(QString());
        m_patientWatchers.clear(); // each stops as it goes
        forgetScans();
        m_lastWanted.clear();
        applyPolling();
        return;
    }
    emit monitoringTextChanged(QLatin1String(kMonitoringCaption) + m_settings.dataRoot);
    emit updateTextChanged(m_updateText.isEmpty() ? QString::fromLatin1(kUpdateCaption)
                                                  : m_updateText);
    const QStringList wanted = wantedFolders(true);
    m_lastWanted = wanted;
    removeWatchersNotIn(wanted);
    for (const QString& path : wanted) {
        const bool watched =
            std::any_of(m_patientWatchers.begin(), m_patientWatchers.end(),
                        [&](const auto& watcher) { return watcher->Directory() == path; });
        if (!watched)
            addWatcher(path);
    }
    m_initialScanDone = true;
    applyPolling();
}

QStringList FolderMonitor::wantedFolders(bool listRoot) {
    const QString root = QDir::cleanPath(m_settings.dataRoot);
    if (listRoot) {
        const qint64 at = m_uptime.elapsed();
        std::vector<FolderStamp> stamp{folderStampOf(root)};
        // Plain folders only: hidden ones and links are left out.
        const QFileInfoList entries = QDir(root).entryInfoList(
            QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
        m_patientFolderNames.clear();
        for (const QFileInfo& entry : entries) {
            if (!entry.isHidden() && !entry.isSymLink() && entry.isDir())
                m_patientFolderNames << entry.fileName();
        }
        m_rootLook.looked(std::move(stamp), at, m_stampSettleMs);
    }
    QStringList wanted;
    QHash<QString, PatientFolderScan> judged;
    judged.reserve(m_patientFolderNames.size());
    for (const QString& name : std::as_const(m_patientFolderNames)) {
        const QString patientFolder = root + u'/' + name;
        const QString archive = patientFolder + u'/' + QLatin1String(XmlArchive::kFolderName);
        PatientFolderScan scan = m_patientFolders.value(name);
        const qint64 at = m_uptime.elapsed();
        std::vector<FolderStamp> stamp{folderStampOf(patientFolder)};
        // Replacing the archive by a link changes the patient folder's stamp; where a link
        // leads can change without that.
        if (scan.look.mustLook(stamp) || scan.archiveIsLink) {
            scan.archiveIsLink = QFileInfo(archive).isSymLink();
            // An archive folder that is a link out of the patient's folder is not watched.
            const QString escape = PatientFolderLinks::EscapeOf(archive, patientFolder);
            if (!escape.isEmpty() && !m_linksSkipped.contains(archive)) {
                m_linksSkipped.insert(archive);
                m_context.log.writeLog(
                    PatientFolderLinks::SkipLine(archive, patientFolder, escape));
            }
            scan.archiveWanted = escape.isEmpty();
            scan.look.looked(std::move(stamp), at, m_stampSettleMs);
        }
        if (scan.archiveWanted)
            wanted << archive;
        judged.insert(name, std::move(scan));
    }
    m_patientFolders = std::move(judged);
    return wanted;
}

void FolderMonitor::removeWatchersNotIn(const QStringList& wanted) {
    for (auto it = m_patientWatchers.begin(); it != m_patientWatchers.end();) {
        if (wanted.contains((*it)->Directory())) {
            ++it;
            continue;
        }
        (*it)->Stop();
        m_archives.remove((*it)->Directory());
        it = m_patientWatchers.erase(it);
    }
}

void FolderMonitor::addWatcher(const QString& path) {
    auto watcher = std::make_unique<TMyFileNotification>(m_context.timers, m_hub.get());
    watcher->SetOptions(foNotifyFilename | foNotifyLastWrite);
    watcher->SetDirectory(path);
    watcher->SetSubtree(true);
    // A patient folder whose archive does not exist yet is watched until the archive appears.
    watcher->SetAwaitFolder(true);
    watcher->SetUseNotifications(m_settings.notifications);
    watcher->OnChanged = [](TATFileNotification& sender) {
        static_cast<TMyFileNotification&>(sender).NoteChange();
    };
    watcher->OnFailure = [this](const QString& text) {
        reportFailure(text);
    };
    watcher->UpdateFromFolder = [this](const QString& directory) {
        UpdateFromFolder(directory);
    };
    m_archives.remove(path);
    readListing(path, m_archives[path]);
    TMyFileNotification& added = *watcher;
    m_patientWatchers.push_back(std::move(watcher));
    added.Start();
    if (added.NotificationsRefused() && !m_refusalLogged) {
        m_refusalLogged = true;
        const int seconds =
            m_settings.pollSeconds > 0 ? m_settings.pollSeconds : kFallbackPollSeconds;
        m_context.log.writeLog(QStringLiteral("Folder monitoring: the system refused to watch ") +
                               QDir::toNativeSeparators(path) +
                               QStringLiteral(" (watch limit reached?); archives it cannot watch "
                                              "are scanned every ") +
                               QString::number(seconds) + QStringLiteral(" s"));
    }
    if (m_initialScanDone)
        added.NoteChange(); // a new patient is rebuilt five seconds from now
}

bool FolderMonitor::Polling() const {
    return m_pollTimer->isActive();
}

void FolderMonitor::applyPolling() {
    int seconds = m_settings.pollSeconds;
    if (seconds <= 0 && (m_refusalLogged || !m_settings.notifications))
        seconds = kFallbackPollSeconds;
    if (m_closed || !m_settings.monitoring || seconds <= 0) {
        m_pollTimer->stop();
        return;
    }
    if (!m_pollTimer->isActive())
        m_pollTimer->start(seconds * 1000);
}

int FolderMonitor::FullCheckRound() const {
    const int count = int(m_patientWatchers.size());
    const int slice = std::max(kFullCheckMinimum, (count + kFullCheckScans - 1) / kFullCheckScans);
    return std::max(1, (count + slice - 1) / slice);
}

void FolderMonitor::Poll() {
    if (m_closed || !m_settings.monitoring)
        return;
    // Patient folders that another machine created or removed, and archives that became links.
    const bool listRoot =
        m_rootLook.mustLook({folderStampOf(QDir::cleanPath(m_settings.dataRoot))});
    if (wantedFolders(listRoot) != m_lastWanted)
        ATFileNotificationDataRootChanged();
    const bool all = m_settings.pollSeconds > 0 || !m_settings.notifications;
    std::vector<TMyFileNotification*> polled;
    polled.reserve(m_patientWatchers.size());
    for (const auto& watcher : m_patientWatchers) {
        if (all || watcher->NotificationsRefused())
            polled.push_back(watcher.get());
    }
    const int count = int(polled.size());
    if (count == 0)
        return;
    // Files rewritten in place leave every folder's stamp as it was: a rotating slice of the
    // archives is read whatever the stamps say.
    const int slice = std::min(
        count, std::max(kFullCheckMinimum, (count + kFullCheckScans - 1) / kFullCheckScans));
    m_rotation %= count;
    for (int i = 0; i < count; ++i) {
        TMyFileNotification& watcher = *polled[size_t(i)];
        ArchiveScan& scan = m_archives[watcher.Directory()];
        const bool inSlice = (i - m_rotation + count) % count < slice;
        if (!inSlice && !stampsChanged(scan))
            continue;
        if (readListing(watcher.Directory(), scan))
            watcher.NoteChange();
    }
    m_rotation = (m_rotation + slice) % count;
}

bool FolderMonitor::readListing(const QString& path, ArchiveScan& scan) {
    ++m_listingsRead;
    const qint64 at = m_uptime.elapsed();
    std::vector<FolderStamp> stamps;
    QStringList folders;
    const quint64 listing = listingOf(path, stamps, folders);
    scan.look.looked(std::move(stamps), at, m_stampSettleMs);
    scan.folders = std::move(folders);
    const bool changed = !scan.read || listing != scan.listing;
    scan.read = true;
    scan.listing = listing;
    return changed;
}

bool FolderMonitor::stampsChanged(const ArchiveScan& scan) const {
    if (!scan.look.settled || scan.look.stamps.size() != size_t(scan.folders.size()))
        return true;
    for (qsizetype i = 0; i < scan.folders.size(); ++i) {
        if (folderStampOf(scan.folders.at(i)) != scan.look.stamps[size_t(i)])
            return true;
    }
    return false;
}

void FolderMonitor::forgetScans() {
    m_archives.clear();
    m_patientFolders.clear();
    m_patientFolderNames.clear();
    m_rootLook = {};
    m_rotation = 0;
}

QString FolderMonitor::PatientFromPath(const QString& path) {
    QString patient = path;
    const QString archive = QLatin1String(XmlArchive::kFolderName);
    for (const QChar separator : {u'\\', u'/'}) {
        const qsizetype at = patient.indexOf(separator + archive);
        if (at >= 0)
            patient.truncate(at);
    }
    for (;;) {
        const qsizetype backslash = patient.indexOf(u'\\');
        const qsizetype slash = patient.indexOf(u'/');
        if (backslash < 0 && slash < 0)
            return patient;
        const qsizetype first =
            backslash < 0 ? slash : (slash < 0 ? backslash : std::min(backslash, slash));
        patient.remove(0, first + 1);
    }
}

void FolderMonitor::UpdateFromFolder(const QString& path) {
    // What the rebuild reads is what the polling scan has seen.
    readListing(path, m_archives[path]);
    const QString patient = PatientFromPath(path);
    m_updateText = QLatin1String(kUpdateCaption) + patient + QStringLiteral(" At: ") +
                   m_context.clock.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    emit updateTextChanged(m_updateText);
    if (m_context.recreatePatient)
        m_context.recreatePatient(patient);
    emit patientUpdated(patient);
}

void FolderMonitor::Close() {
    if (m_closed)
        return;
    m_closed = true;
    m_pollTimer->stop();
    m_dataRoot.Stop();
    for (const auto& watcher : m_patientWatchers) {
        watcher->Stop();
        // A burst still in its delay is rebuilt now: the next start only watches, so the data
        // file would otherwise stay behind its archive until the archive changes again.
        if (watcher->Pending())
            watcher->TimerProcedure();
    }
}

void FolderMonitor::reportFailure(const QString& text) {
    m_context.log.writeLog(text);
}
