#pragma once

#include <QDateTime>

class Clock;

// Whether an entry sent to the relay host waits for its answer, and whether the answer is
// overdue (no reply within the time-out since the entry was last sent).
class TWaitingForAck {
public:
    static constexpr int kAckTimeoutSeconds = 15;

    explicit TWaitingForAck(const Clock& clock) : m_clock(clock) {}

    // Sets the resend flag when the time-out has passed since the entry was last sent.
    bool IsWaiting();
    // Waiting starts (or stops) now.
    void SetWaiting(bool waiting);
    bool ResendRequested() const { return m_resend; }
    void SetResend(bool resend) { m_resend = resend; }
    void SetTimeoutMs(qint64 timeoutMs) { m_timeoutMs = timeoutMs; }

private:
    const Clock& m_clock;
    bool m_waiting = false;
    bool m_resend = false;
    qint64 m_timeoutMs = qint64(kAckTimeoutSeconds) * 1000;
    QDateTime m_sendTime;
};
