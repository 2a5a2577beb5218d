#pragma once

#include <QString>

// Who this process is, as other processes (on this machine or another one sharing a folder)
// see it, and whether a process of this machine still runs.
namespace ProcessIdentity {

// The machine's host name; "localhost" when the system gives none.
QString hostName();
qint64 currentProcessId();
// Whether a process with this number runs on this machine (a process of another user counts).
bool processRuns(qint64 processId);

} // namespace ProcessIdentity
