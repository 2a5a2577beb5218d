#pragma once

#include <QString>

// Tells the service manager how the service is: ready, a status line, and that it is alive (the
// watchdog). Does nothing when the program does not run under a service manager that asks for
// it (no notification socket), or where the platform has none.
namespace ServiceNotifier {

// Whether a notification socket was given to the program.
bool active();
void ready(const QString& status);
void status(const QString& status);
void stopping();
// Feeds the watchdog.
void alive();
// The watchdog interval the service manager expects the program to be fed within, in
// milliseconds; 0 when there is no watchdog.
qint64 watchdogIntervalMs();

} // namespace ServiceNotifier
