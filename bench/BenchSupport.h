#pragma once

#include <chrono>
#include <functional>

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>

// Small helpers every benchmark program uses.

using SteadyClock = std::chrono::steady_clock;

// Seconds since start.
inline double since(SteadyClock::time_point start) {
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// Runs work from within the running event loop, as the program runs its own work: what waits for
// the loop (the event log's writing, letting a data file go) waits meanwhile.
inline void runInEventLoop(const std::function<void()>& work) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&work] {
            work();
            QCoreApplication::quit();
        },
        Qt::QueuedConnection);
    QCoreApplication::exec();
}

// A loopback port nobody listens on at the moment of asking.
inline int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}
