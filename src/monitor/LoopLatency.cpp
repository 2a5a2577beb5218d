#include "LoopLatency.h"

LoopLatency::LoopLatency(QObject* parent) : QObject(parent) {
    m_timer.setInterval(kIntervalMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &LoopLatency::probe);
    m_since.start();
    m_timer.start();
}

void LoopLatency::probe() {
    m_lateMs = std::max<qint64>(0, m_since.restart() - kIntervalMs);
    emit alive();
}
