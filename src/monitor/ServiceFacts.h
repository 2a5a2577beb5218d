#pragma once

#include <map>

#include <QDateTime>
#include <QString>

// What a running collector tells its monitoring: counters since the start, gauges as they are,
// and the checks that make it healthy. Filled by the collector from the owners of each value.
struct ServiceFacts {
    // Health checks: each holds when true; the text says why it does not.
    struct Check {
        bool ok = true;
        QString problem;
    };
    Check analyzerPort; // the analyzer server listens
    Check dataRoot;     // the data root can be written
    Check eventLog;     // the event log can be written
    Check automation;   // the automation link is as configured

    QString collection; // "Collecting", "Ready", ...
    // Results by kind ("live", "document", "line") as they arrive and as they are stored.
    std::map<QString, qint64> resultsReceived;
    std::map<QString, qint64> resultsStored;
    // Messages and results not taken, by reason.
    std::map<QString, qint64> refused;
    qint64 connections = 0;
    qint64 connectionsTotal = 0;
    qint64 unfinishedCharacters = 0;
    qint64 patients = 0;
    qint64 patientsCollected = 0;
    QDateTime lastResultStored; // invalid before the first
    qint64 rebuildsDone = 0;
    qint64 rebuildsWaiting = 0;
    qint64 relayQueueEntries = 0;
    qint64 relayQueueMessages = 0;
    QDateTime relayOldestQueued; // invalid while nothing is queued
    qint64 relayDeadLetters = 0;
    bool relayConnected = false;
    qint64 dataRootFreeBytes = -1; // -1: unknown
    double eventLoopLatencySeconds = 0;
    QDateTime now;
    QDateTime started;

    bool healthy() const { return analyzerPort.ok && dataRoot.ok && eventLog.ok && automation.ok; }
};
