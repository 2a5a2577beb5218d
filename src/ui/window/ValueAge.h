#pragma once

#include <QDateTime>
#include <QString>

// How the window tells when a value was measured: its time of day ("12:04", with the date when
// it was not today) and, once it is older than a few sampling intervals, how long ago
// ("12:04 (35 min ago)"). A value that old is shown greyed.
namespace ValueAge {

// Analyzers sample every 10 to 20 minutes; a value older than this is no longer current.
constexpr int kStaleMinutes = 30;

bool isStale(const QDateTime& measured, const QDateTime& now);
// Empty for an unknown time.
QString timeText(const QDateTime& measured, const QDateTime& now);

} // namespace ValueAge
