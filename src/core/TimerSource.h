#pragma once

#include <functional>
#include <memory>

// One repeating timer: after start it runs onTimeout every interval until stopped. Timers are
// made by a TimerSource so that tests can run time forward instead of waiting for it.
class RepeatingTimer {
public:
    virtual ~RepeatingTimer() = default;
    // (Re)starts the timer; the first tick comes one interval from now.
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

    std::function<void()> onTimeout;
};

class TimerSource {
public:
    virtual ~TimerSource() = default;
    virtual std::unique_ptr<RepeatingTimer> create() = 0;

    // Timers of the event loop of the thread that creates them.
    static TimerSource& system();
};
