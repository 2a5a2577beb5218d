#include "TATFileNotification.h"

#include "DirectoryWatch.h"
#include "FileWatchHub.h"

namespace {
constexpr auto kCreatingFailure = "Exception while creating thread";
constexpr auto kTerminatingFailure = "Exception while terminating thread";
} // namespace

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

void TATFileNotification::Start() {
    QMutexLocker lock(&m_lock);
    if (m_active)
        return;
    try {
        if (m_useNotifications) {
            DirectoryWatch::Target target{m_directory, m_fileName, m_subtree, FilterOf(m_options),
                                          m_awaitFolder};
            m_worker = std::make_unique<DirectoryWatch>(
                *m_hub, std::move(target), [this] { m_delay.SetEnabled(true); },
                [this](const QString& text) { reportFailure(text); });
        }
        m_active = true;
    } catch (const std::exception&) {
        reportFailure(QLatin1String(kCreatingFailure));
    }
}

void TATFileNotification::Stop() {
    QMutexLocker lock(&m_lock);
    if (!m_active)
        return;
    try {
        m_worker.reset();
    } catch (const std::exception&) {
        reportFailure(QLatin1String(kTerminatingFailure));
    }
    m_active = false;
}

bool TATFileNotification::NotificationsRefused() const {
    return m_worker && m_worker->Refused();
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
