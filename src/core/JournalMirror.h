#pragma once

#include <cstdio>

#include <QByteArray>
#include <QString>

#include "EventLog.h"

// Copies event-log lines to a stream, normally standard error, for a service manager that keeps
// them in its journal while the log files keep only their short windows. Each line begins with
// the syslog priority the journal reads there, from the severity it was logged with: "<3>"
// (error), "<4>" (warning) or "<6>" (informational).
// The empty line that separates runs in the files is left out: the journal marks each start.
class JournalMirror {
public:
    static constexpr auto kSwitch = "--log-to-stderr";
    static constexpr auto kServiceVariable = "INVOCATION_ID";

    explicit JournalMirror(std::FILE* stream) : m_stream(stream) {}

    // Whether lines are mirrored: asked for on the command line, or the process runs under the
    // service manager, which gives each run an INVOCATION_ID.
    static bool wanted(bool askedOnCommandLine);

    // The syslog priority of a severity: 3, 4 or 6.
    static int priorityOf(LogSeverity severity);

    // What is written for one log line (message: the text logged; line: the line as the log
    // file holds it), UTF-8 with a line end; empty for the separator line. A line holding line
    // breaks of its own is written as several lines of the same priority.
    static QByteArray textFor(const QString& message, const QString& line, LogSeverity severity);

    void write(const QString& message, const QString& line, LogSeverity severity);

private:
    std::FILE* m_stream;
};
