#pragma once

#include <cstdio>

#include <QByteArray>
#include <QString>

// Copies event-log lines to a stream, normally standard error, for a service manager that keeps
// them in its journal while the log files keep only their short windows. Each line begins with
// the syslog priority the journal reads there: "<3>" (error) for the lines of caught failures,
// which begin with one of the fixed error prefixes, and "<6>" (informational) for all others.
// The empty line that separates runs in the files is left out: the journal marks each start.
class JournalMirror {
public:
    static constexpr auto kSwitch = "--log-to-stderr";
    static constexpr auto kServiceVariable = "INVOCATION_ID";

    explicit JournalMirror(std::FILE* stream) : m_stream(stream) {}

    // Whether lines are mirrored: asked for on the command line, or the process runs under the
    // service manager, which gives each run an INVOCATION_ID.
    static bool wanted(bool askedOnCommandLine);

    // The priority for a logged message: 3 for a failure line, 6 otherwise.
    static int priorityOf(const QString& message);

    // What is written for one log line (message: the text logged; line: the line as the log
    // file holds it), UTF-8 with a line end; empty for the separator line. A line holding line
    // breaks of its own is written as several lines of the same priority.
    static QByteArray textFor(const QString& message, const QString& line);

    void write(const QString& message, const QString& line);

private:
    std::FILE* m_stream;
};
