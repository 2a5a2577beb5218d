#include "PlainTime.h"

#include <array>
#include <cstring>

namespace {

// The number written with exactly count digits at from; -1 when it is not.
int digitsAt(const char* text, int from, int count) {
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

struct Parts {
    int year, month, day, hour, minute, second;
};

bool plainParts(const char* text, Parts& parts) {
    if (std::strlen(text) != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':')
        return false;
    parts = {digitsAt(text, 0, 4),  digitsAt(text, 5, 2),  digitsAt(text, 8, 2),
             digitsAt(text, 11, 2), digitsAt(text, 14, 2), digitsAt(text, 17, 2)};
    return parts.year >= 0 && parts.month >= 0 && parts.day >= 0 && parts.hour >= 0 &&
           parts.minute >= 0 && parts.second >= 0;
}

// The parts as one number, each of them written with two digits (the year with four).
qint64 keyOf(const Parts& parts) {
    qint64 key = 0;
    for (const int part :
         {parts.year, parts.month, parts.day, parts.hour, parts.minute, parts.second})
        key = key * 100 + part;
    return key;
}

struct Remembered {
    qint64 key = -1;
    QDateTime time;
};

} // namespace

QDateTime LocalTimeFromPlainText(const char* text) {
    Parts parts{};
    if (!plainParts(text, parts))
        return {};
    const qint64 key = keyOf(parts);
    thread_local std::array<Remembered, 8> remembered;
    thread_local std::size_t next = 0;
    for (const Remembered& entry : remembered) {
        if (entry.key == key)
            return entry.time;
    }
    const QDate date(parts.year, parts.month, parts.day);
    const QTime time(parts.hour, parts.minute, parts.second);
    if (!date.isValid() || !time.isValid())
        return {};
    Remembered& entry = remembered[next];
    next = (next + 1) % remembered.size();
    entry = {key, QDateTime(date, time)};
    return entry.time;
}
