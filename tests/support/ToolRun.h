#pragma once

#include <map>

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// What a command-line program of this build did: its exit code (-1 when it did not finish in
// time or could not start) and what it printed.
struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs `program` with `arguments` to its end; `environment` is set on top of this process's.
inline ToolRun runTool(const QString& program, const QStringList& arguments,
                       const std::map<QString, QString>& environment = {}, int timeoutMs = 30000) {
    QProcess process;
    if (!environment.empty()) {
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : environment)
            variables.insert(name, value);
        process.setProcessEnvironment(variables);
    }
    process.start(program, arguments);
    ToolRun run;
    if (!process.waitForFinished(timeoutMs))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}
