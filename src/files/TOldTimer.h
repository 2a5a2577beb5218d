#pragma once

#include <functional>
#include <memory>

#include "TimerSource.h"

// A small repeating timer of the main thread. Whenever Enabled, Interval or OnTimer changes it
// stops and, when Interval is not 0, Enabled is set and OnTimer is given, starts again; a tick
// runs OnTimer. Setting a property to the value it already has changes nothing.
class TOldTimer {
public:
    explicit TOldTimer(TimerSource& timers = TimerSource::system());

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);
    int Interval() const { return m_interval; }
    void SetInterval(int intervalMs);
    void SetOnTimer(std::function<void()> handler);

    // Whether ticks are coming.
    bool Running() const { return m_timer->isActive(); }

private:
    void update();

    std::unique_ptr<RepeatingTimer> m_timer;
    std::function<void()> m_onTimer;
    bool m_enabled = true;
    int m_interval = 1000;
};
