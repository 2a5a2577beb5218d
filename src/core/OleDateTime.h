#pragma once

#include <QDateTime>

// Date-times as stored files and the automation server hold them: a double counting days
// since 1899-12-30, the fraction being the time of day (local time).
namespace OleDateTime {

double fromDateTime(const QDateTime& local);
QDateTime toDateTime(double days);

} // namespace OleDateTime
