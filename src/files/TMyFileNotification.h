#pragma once

#include <functional>

#include "TATFileNotification.h"

// The watcher of one patient's archive. Each change is counted; the first change of a burst
// starts a five-second delay (later changes do not restart it), after which the archive folder
// is handed to UpdateFromFolder.
class TMyFileNotification : public TATFileNotification {
public:
    static constexpr int kRebuildDelayMs = 5000;

    explicit TMyFileNotification(TimerSource& timers = TimerSource::system(),
                                 FileWatchHub* hub = nullptr);

    std::function<void(const QString& directory)> UpdateFromFolder;

    int ChangeCount() const { return m_changeCount; }
    // 0 also stops the delay.
    void SetChangeCount(int count);
    void NoteChange();
    // The end of the delay: back to idle, and the folder goes to UpdateFromFolder.
    void TimerProcedure();
    // Whether a rebuild waits for the end of the delay.
    bool Pending() const { return m_rebuildDelay.Enabled(); }

private:
    TOldTimer m_rebuildDelay;
    int m_changeCount = 0;
};
