#include "EventTime.h"

namespace {

bool number(const QString& text, qsizetype position, qsizetype length, int& value) {
    if (text.size() < position + length - 1)
        return false;
    bool ok = false;
    value = text.mid(position - 1, length).toInt(&ok);
    return ok;
}

} // namespace

QDateTime EventTimeFromText(const QString& text, const QDateTime& fallback) {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    if (!number(text, 1, 4, year) || !number(text, 6, 2, month) || !number(text, 9, 2, day) ||
        !number(text, 12, 2, hour) || !number(text, 15, 2, minute))
        return fallback;
    const QDate date(year, month, day);
    const QTime time(hour, minute);
    if (!date.isValid() || !time.isValid())
        return fallback;
    return QDateTime(date, time);
}
