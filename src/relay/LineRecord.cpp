#include "LineRecord.h"

#include <cmath>

namespace LineRecord {

QString Part(const QString& text, QChar delimiter, int number) {
    if (number < 1)
        return {};
    qsizetype start = 0;
    for (int n = 1; n < number; ++n) {
        const qsizetype next = text.indexOf(delimiter, start);
        if (next < 0)
            return {};
        start = next + 1;
    }
    const qsizetype end = text.indexOf(delimiter, start);
    return end < 0 ? text.mid(start) : text.mid(start, end - start);
}

namespace {

std::optional<int> digits(const QString& text, qsizetype from, qsizetype count) {
    if (text.size() < from + count)
        return std::nullopt;
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const QChar c = text.at(i);
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

std::optional<QDateTime> timeOf(const QString& text, bool withSeconds) {
    const auto year = digits(text, 0, 4);
    const auto month = digits(text, 4, 2);
    const auto day = digits(text, 6, 2);
    const auto hour = digits(text, 8, 2);
    const auto minute = digits(text, 10, 2);
    const auto second = withSeconds ? digits(text, 12, 2) : std::optional<int>(0);
    if (!year || !month || !day || !hour || !minute || !second)
        return std::nullopt;
    const QDate date(*year, *month, *day);
    const QTime time(*hour, *minute, *second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time);
}

} // namespace

std::optional<QDateTime> MinuteTime(const QString& text) {
    return timeOf(text, false);
}

std::optional<QDateTime> SecondTime(const QString& text) {
    return timeOf(text, true);
}

std::optional<double> Value(const QString& text, QChar separator) {
    const QChar other = separator == u'.' ? u',' : u'.';
    QString number = text.trimmed();
    const qsizetype at = number.indexOf(other);
    if (at >= 0)
        number[at] = separator;
    // Written with the separator in use, read as a number with ".".
    if (separator != u'.') {
        if (number.contains(u'.'))
            return std::nullopt;
        number.replace(separator, u'.');
    }
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString CleanPatientId(const QString& id) {
    QString cleaned = id;
    for (const QChar c : {u',', u'.', u'-'}) {
        const qsizetype at = cleaned.indexOf(c);
        if (at >= 0)
            cleaned.remove(at, 1);
    }
    return cleaned.isEmpty() ? QStringLiteral("NULL") : cleaned;
}

} // namespace LineRecord
