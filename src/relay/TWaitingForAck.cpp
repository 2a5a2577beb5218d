#include "TWaitingForAck.h"

#include "Clock.h"

bool TWaitingForAck::IsWaiting() {
    if (m_waiting && m_sendTime.isValid() &&
        m_sendTime.msecsTo(m_clock.now()) > qint64(kAckTimeoutSeconds) * 1000)
        m_resend = true;
    return m_waiting;
}

void TWaitingForAck::SetWaiting(bool waiting) {
    m_waiting = waiting;
    if (!waiting)
        m_resend = false;
    m_sendTime = m_clock.now();
}

bool TWaitingForAck::CountRetry() {
    ++m_retries;
    if (m_retries <= kMaxRetries)
        return false;
    m_retries = 0;
    m_resend = false;
    return true;
}
