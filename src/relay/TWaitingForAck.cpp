#include "TWaitingForAck.h"

#include "Clock.h"

bool TWaitingForAck::IsWaiting() {
    if (m_waiting && m_sendTime.isValid() && m_sendTime.msecsTo(m_clock.now()) > m_timeoutMs)
        m_resend = true;
    return m_waiting;
}

void TWaitingForAck::SetWaiting(bool waiting) {
    m_waiting = waiting;
    m_resend = false;
    m_sendTime = m_clock.now();
}
