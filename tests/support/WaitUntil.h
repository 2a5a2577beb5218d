#pragma once

#include <functional>

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

// Runs the event loop until the condition holds or the time-out passes; true when it held.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}
