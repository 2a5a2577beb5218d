#pragma once

#include <QString>
#include <QStringList>

// The command line of tarvo-collectd and tarvo-collect (which also takes --headless).
struct CommandLine {
    bool headless = false;
    bool showVersion = false;
    bool showHelp = false;
    bool logToStderr = false; // --log-to-stderr: event-log lines also to standard error
    QString rootFolder;       // --root DIR: portable mode
    QString firstArgument;    // first positional argument ("NOORVANTA")
    QString command;          // --command TEXT...: sent to the running collector
    QString error;            // set when the command line cannot be used

    static CommandLine parse(const QStringList& arguments);
    // The --help text of the program; only the window's program shows --headless.
    static QString helpText(const QString& program, bool windowed);
};
