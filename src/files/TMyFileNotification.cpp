#include "TMyFileNotification.h"

TMyFileNotification::TMyFileNotification(TimerSource& timers, FileWatchHub* hub)
    : TATFileNotification(timers, hub), m_rebuildDelay(timers) {
    m_rebuildDelay.SetEnabled(false);
    m_rebuildDelay.SetInterval(kRebuildDelayMs);
    m_rebuildDelay.SetOnTimer([this] { TimerProcedure(); });
}

void TMyFileNotification::SetChangeCount(int count) {
    m_changeCount = count;
    if (count == 0)
        m_rebuildDelay.SetEnabled(false);
}

void TMyFileNotification::NoteChange() {
    ++m_changeCount;
    m_rebuildDelay.SetEnabled(true); // a running delay goes on as it is
}

void TMyFileNotification::TimerProcedure() {
    m_rebuildDelay.SetEnabled(false);
    SetChangeCount(0);
    if (UpdateFromFolder)
        UpdateFromFolder(Directory());
}
