#include "EventLog.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include "Clock.h"

namespace {

// The long time format without a time-zone designator, which log readers do not expect.
QString timeFormatOf(const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
    format.replace(zone, QStringLiteral(" "));
    return format.trimmed();
}

bool folderExists(const QString& folderText) {
    QString path = folderText;
    while (path.size() > 1 && (path.endsWith(u'/') || path.endsWith(u'\\')))
        path.chop(1);
    return QFileInfo(path).isDir();
}

} // namespace

EventLog::EventLog(const Clock& clock, QLocale locale)
    : m_clock(clock), m_locale(std::move(locale)), m_timeFormat(timeFormatOf(m_locale)),
      m_main(kMainTrimAbove, clock), m_extended(kExtendedTrimAbove, clock) {
    m_repeatWindowEnd.setSingleShot(true);
    m_repeatWindowEnd.callOnTimeout([this] { flushRepeats(); });
}

QString EventLog::open(const QString& logFolder) {
    m_main.setFilePath(logFolder + QLatin1String(kMainFileName));
    m_extended.setFilePath(logFolder + QLatin1String(kExtendedFileName));
    if (folderExists(logFolder)) {
        m_main.loadExisting();
        m_extended.loadExisting();
        return {};
    }
    if (QDir().mkdir(QDir::cleanPath(logFolder)))
        return {};
    return QStringLiteral("Could not create the log folder ") + logFolder;
}

QString EventLog::timeStamp() const {
    const QDateTime now = m_clock.now();
    const QString date = m_locale.toString(now.date(), QLocale::ShortFormat);
    if (now.time() == QTime(0, 0))
        return date;
    return date + u' ' + m_locale.toString(now.time(), m_timeFormat);
}

QString EventLog::formatted(const QString& message) const {
    if (message.isEmpty())
        return message;
    return timeStamp() + QStringLiteral(" - ") + message;
}

void EventLog::appendMain(const QString& message, LogSeverity severity) {
    const QString line = formatted(message);
    m_main.append(line);
    if (m_mirror)
        m_mirror(message, line, severity);
}

bool EventLog::collapsed(const QString& message, LogSeverity severity) {
    const QDateTime now = m_clock.now();
    const qint64 elapsed = m_repeat.since.isValid() ? m_repeat.since.msecsTo(now) : -1;
    const bool withinWindow = elapsed >= 0 && elapsed < kRepeatWindowMs;
    if (m_repeat.count > 0 && (message != m_repeat.message || !withinWindow))
        flushRepeats();
    if (message.isEmpty() || severity != LogSeverity::Info) {
        m_repeat = {};
        return false;
    }
    if (message == m_repeat.message && withinWindow) {
        ++m_repeat.count;
        if (!m_repeatWindowEnd.isActive())
            m_repeatWindowEnd.start(int(kRepeatWindowMs - elapsed));
        return true;
    }
    m_repeat = {message, now, 0};
    return false;
}

void EventLog::flushRepeats() {
    try {
        m_repeatWindowEnd.stop();
        if (m_repeat.count == 0)
            return;
        const int count = m_repeat.count;
        const QString message = m_repeat.message;
        // The next equal line is written again and starts a new minute.
        m_repeat = {};
        appendMain(message +
                       QStringLiteral(" repeated %1 %2")
                           .arg(count)
                           .arg(count == 1 ? QStringLiteral("time") : QStringLiteral("times")),
                   LogSeverity::Info);
    } catch (...) {
    }
}

void EventLog::writeLog(const QString& message, LogSeverity severity) {
    try {
        if (!collapsed(message, severity))
            appendMain(message, severity);
    } catch (...) {
    }
}

void EventLog::writeExtendedLog(const QString& message) {
    try {
        const QString line = formatted(message);
        m_extended.append(line);
        if (m_mirror)
            m_mirror(message, line, LogSeverity::Info);
    } catch (...) {
    }
}
