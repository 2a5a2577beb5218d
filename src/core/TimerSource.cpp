#include "TimerSource.h"

#include <QTimer>

namespace {

class EventLoopTimer final : public RepeatingTimer {
public:
    EventLoopTimer() {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            if (onTimeout)
                onTimeout();
        });
    }
    void start(int intervalMs) override { m_timer.start(intervalMs); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

class EventLoopTimers final : public TimerSource {
public:
    std::unique_ptr<RepeatingTimer> create() override { return std::make_unique<EventLoopTimer>(); }
};

} // namespace

TimerSource& TimerSource::system() {
    static EventLoopTimers source;
    return source;
}
