#pragma once

#include <QJsonObject>
#include <QString>
#include <vector>

class Collector;

// An answer to an operator's command: its text, and whether the command was refused or failed
// (nothing, or not all, was done). A refusal is one line saying why.
struct OperatorAnswer {
    QString text;
    bool refused = false;
    // Nothing can be stored now: every answer then ends with the "Not storing: ..." line.
    bool notStoring = false;
};

// The operator's commands for a collector without a window, as one line of text each
// ("start", "tick P1", ...), answered with text for the operator. The window's buttons and menu
// entries call the same operations of the collector.
class OperatorCommands {
public:
    // One command: its word and the argument it takes (empty when none).
    struct Command {
        const char* verb;
        const char* argument;
    };
    // Every command, in the order the help lists them.
    static const std::vector<Command>& Commands();
    static constexpr auto kTestLinesFile = "TARVOflexExample.txt";
    static constexpr auto kSampleMessageFile = "Message.txt";

    explicit OperatorCommands(Collector& collector) : m_collector(collector) {}

    // Carries out one command. While nothing can be stored, every answer says so in its last
    // line and is marked notStoring.
    OperatorAnswer Execute(const QString& request);

    // The collection state, whether results can be stored, the connections, the patients with their
    // check marks and the latest values.
    QString Status() const;
    // The same as JSON ("status --json", and /status of the monitoring endpoint), with the relay
    // queue when there is one.
    QJsonObject StatusJson() const;

    // "commands: status, start, ..., show".
    static QString helpText();

private:
    OperatorAnswer execute(const QString& request);
    OperatorAnswer tick(const QString& patientId, bool ticked);
    OperatorAnswer recreate(const QString& patientId);
    OperatorAnswer import(const QString& patientId);
    OperatorAnswer media();
    // The record lines of the example file in the diagnostics folder go to the line handler.
    OperatorAnswer testLines();
    // A complete sample message in record lines, written to the diagnostics folder.
    OperatorAnswer sampleMessage();

    Collector& m_collector;
};
