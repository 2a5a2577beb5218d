#include "OleDateTime.h"

#include <cmath>

namespace {
const QDate kEpoch(1899, 12, 30);
constexpr double kMillisecondsPerDay = 86400000.0;
} // namespace

namespace OleDateTime {

double fromDateTime(const QDateTime& local) {
    const double days = double(kEpoch.daysTo(local.date()));
    const double fraction = double(local.time().msecsSinceStartOfDay()) / kMillisecondsPerDay;
    // Before the epoch the integer part counts backwards while the fraction still counts
    // forwards from midnight, as in the stored format.
    return days >= 0 ? days + fraction : days - fraction;
}

QDateTime toDateTime(double days) {
    if (!std::isfinite(days))
        return {};
    const double whole = std::trunc(days);
    const double fraction = std::fabs(days - whole);
    qint64 msecs = qint64(std::llround(fraction * kMillisecondsPerDay));
    qint64 dayCount = qint64(whole);
    if (msecs >= qint64(kMillisecondsPerDay)) {
        msecs -= qint64(kMillisecondsPerDay);
        dayCount += days >= 0 ? 1 : -1;
    }
    return QDateTime(kEpoch.addDays(dayCount), QTime::fromMSecsSinceStartOfDay(int(msecs)));
}

} // namespace OleDateTime
