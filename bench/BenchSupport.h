#pragma once

#include <chrono>

#include <QHostAddress>
#include <QTcpServer>

// Small helpers every benchmark program uses.

using SteadyClock = std::chrono::steady_clock;

// Seconds since start.
inline double since(SteadyClock::time_point start) {
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// A loopback port nobody listens on at the moment of asking.
inline int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}
