#include "CommandLine.h"

#include "OperatorCommands.h"

CommandLine CommandLine::parse(const QStringList& arguments) {
    CommandLine line;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--headless")) {
            line.headless = true;
        } else if (argument == QLatin1String("--log-to-stderr")) {
            line.logToStderr = true;
        } else if (argument == QLatin1String("--version") || argument == QLatin1String("-v")) {
            line.showVersion = true;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            line.showHelp = true;
        } else if (argument == QLatin1String("--root")) {
            if (i + 1 >= arguments.size()) {
                line.error = QStringLiteral("--root needs a folder");
                return line;
            }
            line.rootFolder = arguments.at(++i);
        } else if (argument.startsWith(QLatin1String("--root="))) {
            line.rootFolder = argument.mid(7);
        } else if (argument == QLatin1String("--command")) {
            // The command is every argument that follows, up to the next option ("--json" asks
            // for the answer as JSON and belongs to the command).
            QStringList words;
            while (i + 1 < arguments.size() &&
                   (!arguments.at(i + 1).startsWith(QLatin1String("--")) ||
                    arguments.at(i + 1) == QLatin1String("--json")))
                words << arguments.at(++i);
            line.command = words.join(u' ');
            if (line.command.isEmpty()) {
                line.error = QStringLiteral("--command needs a command");
                return line;
            }
        } else if (argument.startsWith(u'-')) {
            line.error = QStringLiteral("unknown option ") + argument;
            return line;
        } else if (line.firstArgument.isEmpty()) {
            line.firstArgument = argument;
        }
    }
    if (arguments.size() > 1 && !line.rootFolder.isNull() && line.rootFolder.isEmpty())
        line.error = QStringLiteral("--root needs a folder");
    return line;
}

QString CommandLine::helpText(const QString& program, bool windowed) {
    // The operator's commands, wrapped below the option they belong to.
    QString commands;
    QString line;
    const auto& all = OperatorCommands::Commands();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const QString word =
            QLatin1String(all[i].verb) +
            (*all[i].argument ? u' ' + QLatin1String(all[i].argument) : QString()) +
            (i + 1 < all.size() ? QStringLiteral(",") : QString());
        if (!line.isEmpty() && line.size() + 1 + word.size() > 60) {
            commands += QStringLiteral("                ") + line + u'\n';
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    commands += QStringLiteral("                ") + line + u'\n';
    const QString headless = windowed ? QStringLiteral(" [--headless]") : QString();
    return QStringLiteral("Usage: ") + program + QStringLiteral(" [NOORVANTA]") + headless +
           QStringLiteral(" [--root DIR] [--log-to-stderr]\n   or: ") + program +
           QStringLiteral(" [--root DIR] --command COMMAND [ARGUMENT]\n"
                          "\n"
                          "Collects the results of microdialysis analyzers into the patients' data "
                          "files.\n"
                          "\n"
                          "  NOORVANTA     run without the Orvanta automation server (any letter "
                          "case)\n") +
           (windowed ? QStringLiteral("  --headless    run without a window; messages go to the "
                                      "event log and stderr\n")
                     : QString()) +
           QStringLiteral(
               "  --root DIR    portable mode: settings, the ini file and drive C below DIR\n"
               "  --log-to-stderr\n"
               "                also write every event-log line to standard error, beginning with\n"
               "                its syslog priority (<3> failures, <6> others); always on under\n"
               "                systemd (INVOCATION_ID set), for the journal\n"
               "  --command     ask the running collector (of the same root) and print its answer\n"
               "                (exit status 1: none answered; 4: it refused the command):\n") +
           commands +
           QStringLiteral("  --version     print the version and exit\n"
                          "  --help        print this text and exit\n");
}
