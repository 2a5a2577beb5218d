#pragma once

#include <algorithm>
#include <vector>

#include "Clock.h"
#include "TimerSource.h"

// Timers that tick only when the test runs time forward: advanceMs moves the manual clock and
// fires every timer that falls due on the way, in order of time.
class ManualTimers final : public TimerSource {
public:
    explicit ManualTimers(ManualClock& clock) : m_clock(clock) {}

    std::unique_ptr<RepeatingTimer> create() override { return std::make_unique<Timer>(*this); }

    void advanceMs(qint64 ms) {
        const QDateTime end = m_clock.now().addMSecs(ms);
        for (;;) {
            Timer* next = nullptr;
            for (Timer* timer : m_timers) {
                if (timer->active && timer->due <= end && (!next || timer->due < next->due))
                    next = timer;
            }
            if (!next)
                break;
            if (next->due > m_clock.now())
                m_clock.set(next->due);
            next->due = next->due.addMSecs(next->interval);
            if (next->onTimeout)
                next->onTimeout();
        }
        m_clock.set(end);
    }

    int activeTimers() const {
        return int(std::count_if(m_timers.begin(), m_timers.end(),
                                 [](const Timer* timer) { return timer->active; }));
    }

private:
    struct Timer final : RepeatingTimer {
        explicit Timer(ManualTimers& owner) : owner(owner) { owner.m_timers.push_back(this); }
        ~Timer() override { std::erase(owner.m_timers, this); }
        void start(int intervalMs) override {
            interval = std::max(1, intervalMs);
            due = owner.m_clock.now().addMSecs(interval);
            active = true;
        }
        void stop() override { active = false; }
        bool isActive() const override { return active; }

        ManualTimers& owner;
        QDateTime due;
        int interval = 1;
        bool active = false;
    };

    ManualClock& m_clock;
    std::vector<Timer*> m_timers;
};
