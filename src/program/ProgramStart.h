#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include <QMetaObject>
#include <QString>
#include <QStringList>

#include "CommandLine.h"
#include "InstallationLayout.h"

class Collector;
class JournalMirror;
class OperatorCommands;
class OperatorMessages;
class QTranslator;
class ServiceMonitor;
class SingleInstance;
class TerminationSignals;

// What both programs, the service's tarvo-collectd and the window's tarvo-collect, do to start:
// answer what needs no collector, claim the root, compose the collector with its operator
// commands and its monitoring, and end it on a request to end.
namespace ProgramStart {

void print(FILE* stream, const QString& text);
QStringList argumentsOf(int argc, char** argv);

// Help, the version, a command line that cannot be used and --command are answered without a
// collector of this program's own; returns the exit status then, nothing when the collector runs.
// The program is "tarvo-collectd" or "tarvo-collect" (the one with a window).
std::optional<int> answerAlone(const CommandLine& commandLine, const QString& program);

// The collector without a window: the service's program, and the window's program when it is
// asked to run headless or finds no display.
int runHeadless(int argc, char** argv, const CommandLine& commandLine, const QString& program);

} // namespace ProgramStart

// One collector on its root, from the claim of the root to the running event loop.
class CollectorProgram {
public:
    using FailureHandlerSetter = std::function<void(std::function<void(const QString&)>)>;

    // The termination handler is in place from here on: a request to end that arrives during
    // start-up waits until the event loop runs, and then closes the collector.
    explicit CollectorProgram(const CommandLine& commandLine);
    ~CollectorProgram();

    // Claims the root (a second program on it asks the first to show its window and ends),
    // loads the language and starts the collector with the messages given. Returns the exit
    // status when the program ends here, nothing when the event loop is to run.
    std::optional<int> start(OperatorMessages& messages,
                             const FailureHandlerSetter& failureHandler);

    Collector& collector() { return *m_collector; }
    TerminationSignals& termination() { return *m_termination; }
    // A request to end then goes where the caller connects it instead of quitting at once.
    void takeOverTermination();

private:
    bool claimRoot();
    void composeCollector(OperatorMessages& messages);
    void composeCommandsAndMonitor();

    CommandLine m_commandLine;
    InstallationLayout m_layout;
    std::unique_ptr<TerminationSignals> m_termination;
    QMetaObject::Connection m_quitOnTermination;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<QTranslator> m_translator;
    // The journal outlives the collector, whose last lines it mirrors.
    std::unique_ptr<JournalMirror> m_journal;
    std::unique_ptr<Collector> m_collector;
    std::unique_ptr<OperatorCommands> m_commands;
    std::unique_ptr<ServiceMonitor> m_monitor;
};
