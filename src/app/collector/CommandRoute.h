#pragma once

#include <QString>
#include <QStringList>

#include "SingleInstance.h"

// Where the packaged system service runs: its settings root and the runtime folder its TMPDIR
// names, which holds the socket its operator commands arrive on.
struct ServiceLocation {
    QString rootFolder;
    QString runtimeFolder;

    static ServiceLocation packaged() {
        return {QStringLiteral("/var/lib/tarvo-collect"), QStringLiteral("/run/tarvo-collect")};
    }
};

// Sends an operator command (--command) to the collector that should take it: the one running
// for the given root, and, when no root was given (or the service's root was) and that one does
// not answer, the system service, whose socket lies in its own runtime folder.
class CommandRoute {
public:
    struct Reply {
        SingleInstance::Answer answer;
        QString answeredRoot; // the root whose collector answered
        bool byService = false;
        QStringList triedRoots;
    };

    static Reply send(const QString& rootFolder, bool rootGiven, const QString& command,
                      const ServiceLocation& service, int timeoutMs);
};
