#pragma once

#include <QDateTime>

// A time text of the plain form "yyyy-MM-ddThh:mm:ss" read as a local date and time, as
// QDateTime(date, time) gives it; an invalid QDateTime for a text of any other form and for an
// impossible date or time, which are left to the general reading. The times of the last few
// texts are kept (per thread), as the measurements of one sample share their time.
QDateTime LocalTimeFromPlainText(const char* text);
