#include "FolderMonitor.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>

#include "Clock.h"
#include "EventLog.h"
#include "FileWatchHub.h"
#include "FolderListingSignature.h"
#include "PatientFolderLinks.h"
#include "XmlArchive.h"

namespace {

// Polling interval when the setting asks for none but some archive can be seen only by polling.
constexpr int kFallbackPollSeconds = 10;

} // namespace

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
        m_listings.clear();
        m_lastWanted.clear();
        applyPolling();
        return;
    }
    emit monitoringTextChanged(QLatin1String(kMonitoringCaption) + m_settings.dataRoot);
    emit updateTextChanged(m_updateText.isEmpty() ? QString::fromLatin1(kUpdateCaption)
                                                  : m_updateText);
    const QStringList wanted = wantedFolders();
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

QStringList FolderMonitor::wantedFolders() const {
    // Plain folders only: hidden ones and links are left out.
    const QString root = QDir::cleanPath(m_settings.dataRoot);
    const QFileInfoList entries =
        QDir(root).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    QStringList wanted;
    for (const QFileInfo& entry : entries) {
        if (entry.isHidden() || entry.isSymLink() || !entry.isDir())
            continue;
        const QString patientFolder = root + u'/' + entry.fileName();
        const QString archive = patientFolder + u'/' + QLatin1String(XmlArchive::kFolderName);
        // An archive folder that is a link out of the patient's folder is not watched.
        const QString escape = PatientFolderLinks::EscapeOf(archive, patientFolder);
        if (!escape.isEmpty()) {
            if (!m_linksSkipped.contains(archive)) {
                m_linksSkipped.insert(archive);
                m_context.log.writeLog(
                    PatientFolderLinks::SkipLine(archive, patientFolder, escape));
            }
            continue;
        }
        wanted << archive;
    }
    return wanted;
}

void FolderMonitor::removeWatchersNotIn(const QStringList& wanted) {
    for (auto it = m_patientWatchers.begin(); it != m_patientWatchers.end();) {
        if (wanted.contains((*it)->Directory())) {
            ++it;
            continue;
        }
        (*it)->Stop();
        m_listings.remove((*it)->Directory());
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
    m_listings.insert(path, FolderListingSignature::Of(path));
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

void FolderMonitor::Poll() {
    if (m_closed || !m_settings.monitoring)
        return;
    // Patient folders that another machine created or removed.
    if (wantedFolders() != m_lastWanted)
        ATFileNotificationDataRootChanged();
    const bool all = m_settings.pollSeconds > 0 || !m_settings.notifications;
    for (const auto& watcher : m_patientWatchers) {
        if (!all && !watcher->NotificationsRefused())
            continue;
        const QString& path = watcher->Directory();
        const quint64 listing = FolderListingSignature::Of(path);
        auto seen = m_listings.find(path);
        if (seen != m_listings.end() && seen.value() == listing)
            continue;
        m_listings.insert(path, listing);
        watcher->NoteChange();
    }
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
    m_listings.insert(path, FolderListingSignature::Of(path));
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
