#include "TOldTimer.h"

TOldTimer::TOldTimer(TimerSource& timers) : m_timer(timers.create()) {
    m_timer->onTimeout = [this] {
        if (m_onTimer)
            m_onTimer();
    };
}

void TOldTimer::SetEnabled(bool enabled) {
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    update();
}

void TOldTimer::SetInterval(int intervalMs) {
    if (intervalMs == m_interval)
        return;
    m_interval = intervalMs;
    update();
}

void TOldTimer::SetOnTimer(std::function<void()> handler) {
    m_onTimer = std::move(handler);
    update();
}

void TOldTimer::update() {
    m_timer->stop();
    if (m_interval != 0 && m_enabled && m_onTimer)
        m_timer->start(m_interval);
}
