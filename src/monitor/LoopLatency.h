#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Measures how late the event loop runs a timer: a loop held up by a long task shows it here,
// and a loop that is stuck stops the probe altogether.
class LoopLatency : public QObject {
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 1000;

    explicit LoopLatency(QObject* parent = nullptr);

    // The lateness of the last probe, in seconds.
    double seconds() const { return m_lateMs / 1000.0; }

signals:
    // The loop ran the probe (the service manager's watchdog is fed from here).
    void alive();

private:
    void probe();

    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_lateMs = 0;
};
