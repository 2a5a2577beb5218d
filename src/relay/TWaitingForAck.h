#pragma once

#include <QDateTime>

class Clock;

// Whether an entry sent to the relay host waits for its acknowledgement, whether it is to be
// sent again (refused, or not answered within the time-out), and how often the outstanding
// entry has been repeated.
class TWaitingForAck {
public:
    static constexpr int kAckTimeoutSeconds = 10;
    static constexpr int kMaxRetries = 20;

    explicit TWaitingForAck(const Clock& clock) : m_clock(clock) {}

    // Sets the resend flag when the time-out has passed since the last first sending.
    bool IsWaiting();
    void SetWaiting(bool waiting);
    bool ResendRequested() const { return m_resend; }
    void SetResend(bool resend) { m_resend = resend; }
    // Counts one repetition; true when the limit is passed (the count then starts again and the
    // resend flag is cleared; the caller dumps the queue).
    bool CountRetry();
    // An acknowledgement: the next entry starts with a count of its own.
    void ResetRetries() { m_retries = 0; }
    int Retries() const { return m_retries; }

private:
    const Clock& m_clock;
    bool m_waiting = false;
    bool m_resend = false;
    int m_retries = 0;
    QDateTime m_sendTime;
};
