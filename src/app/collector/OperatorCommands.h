#pragma once

#include <QString>

class Collector;

// The operator's commands for a collector without a window, as one line of text each
// ("start", "tick P1", ...), answered with text for the operator. The window's buttons and menu
// entries call the same operations of the collector.
class OperatorCommands {
public:
    explicit OperatorCommands(Collector& collector) : m_collector(collector) {}

    QString Execute(const QString& request);

    // The collection state, the connections, the patients with their check marks and the
    // latest values.
    QString Status() const;

    static QString helpText();

private:
    QString tick(const QString& patientId, bool ticked);
    QString recreate(const QString& patientId);
    QString import(const QString& patientId);

    Collector& m_collector;
};
