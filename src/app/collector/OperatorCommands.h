#pragma once

#include <QString>

class Collector;

// The operator's commands for a collector without a window, as one line of text each
// ("start", "tick P1", ...), answered with text for the operator. The window's buttons and menu
// entries call the same operations of the collector.
class OperatorCommands {
public:
    static constexpr auto kTestLinesFile = "TARVOflexExample.txt";
    static constexpr auto kSampleMessageFile = "Message.txt";

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
    // The record lines of the example file in the diagnostics folder go to the line handler.
    QString testLines();
    // A complete sample message in record lines, written to the diagnostics folder.
    QString sampleMessage();

    Collector& m_collector;
};
