#pragma once

#include <functional>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

// Runs the event loop until the condition holds or the time-out passes; true when it held.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}
