#pragma once

#include <QDateTime>

// An event's time text read by character positions: characters 1-4 the year, 6-7 the month,
// 9-10 the day, 12-13 the hour, 15-16 the minute; the rest (seconds) is not looked at. A text
// where any part is not a number, or that gives no valid date and time, yields the fallback.
QDateTime EventTimeFromText(const QString& text, const QDateTime& fallback);
