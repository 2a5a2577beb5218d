#pragma once

#include <memory>

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include "LoopLatency.h"
#include "MonitorServer.h"
#include "ServiceFacts.h"

class Collector;

// What the hospital's monitoring sees of a running collector: the HTTP endpoint (/health,
// /metrics, /status) on MonitorHttpPort when it is set, and the service manager's notifications
// (ready, a status line that follows the collection state, the watchdog fed from the event
// loop). The facts are read from the owner of each value when they are asked for.
class ServiceMonitor : public QObject {
    Q_OBJECT

public:
    ServiceMonitor(Collector& collector, std::function<QJsonObject()> status,
                   QObject* parent = nullptr);

    // Opens the endpoint as the settings say (a failure is logged) and tells the service manager
    // that the collector is ready.
    void start();
    void stop();

    ServiceFacts facts() const;
    const MonitorServer& server() const { return m_server; }

private:
    void followState();
    ServiceFacts::Check dataRootCheck() const;
    ServiceFacts::Check eventLogCheck() const;
    QString statusLine() const;

    Collector& m_collector;
    MonitorServer m_server;
    LoopLatency m_latency;
    QTimer m_stateTimer;
    QString m_lastStatus;
    QDateTime m_started;
};
