#pragma once

#include <functional>

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTimer>

#include "LogPrefixes.h"
#include "RollingLogFile.h"

class Clock;

// How much a line of the main log matters; the journal keeps it with this priority.
enum class LogSeverity { Info, Warning, Error };

// The collector's two event logs: the main log every subsystem writes to, and the extended
// log of protocol line handling and XML duplicates. Neither ever fails towards its caller.
//
// The main log writes a line that repeats within a minute once: the repeats are counted, and one
// line "<the line> repeated N times" follows when another line comes or the minute ends (by the
// clock at the next line, or by a timer when no line comes). Errors, warnings and empty lines are
// never collapsed.
class EventLog {
public:
    static constexpr int kMainTrimAbove = 200;      // at most 201 lines
    static constexpr int kExtendedTrimAbove = 1000; // at most 1001 lines
    static constexpr qint64 kRepeatWindowMs = 60 * 1000;
    static constexpr auto kMainFileName = "Tarvo Logfile.txt";
    static constexpr auto kExtendedFileName = "Tarvo Logfile Extended.txt";

    explicit EventLog(const Clock& clock, QLocale locale = QLocale::system());

    // Points both logs at their files in the folder (a text the file names are appended to)
    // and, when the folder exists, loads the lines of earlier runs; otherwise creates the
    // folder (one level). Returns an error text when the folder could not be created.
    QString open(const QString& logFolder);

    void writeLog(const QString& message, LogSeverity severity = LogSeverity::Info);
    // A failure that was caught: never collapsed, an error in the journal.
    void writeError(const QString& message) { writeLog(message, LogSeverity::Error); }
    // Something an administrator should act on that is no failure (yet).
    void writeWarning(const QString& message) { writeLog(message, LogSeverity::Warning); }
    void writeExtendedLog(const QString& message);
    // Writes the count of a repeating line now, if there is one (the end of its minute, or
    // closing).
    void flushRepeats();

    // Also hands every line of either log, once it is in its list, to the mirror: the message
    // as logged and the line as the file holds it (the service journal keeps them all).
    using LineMirror =
        std::function<void(const QString& message, const QString& line, LogSeverity severity)>;
    void setMirror(LineMirror mirror) { m_mirror = std::move(mirror); }

    const QStringList& mainLines() const { return m_main.lines(); }
    const QStringList& extendedLines() const { return m_extended.lines(); }
    QString mainFilePath() const { return m_main.filePath(); }
    QString extendedFilePath() const { return m_extended.filePath(); }

    // The time stamp of a line: the short date and the long time of the locale, the time left
    // out at exactly midnight.
    QString timeStamp() const;

private:
    QString formatted(const QString& message) const;
    void appendMain(const QString& message, LogSeverity severity);
    // True when the message repeats the last one within its minute and is only counted.
    bool collapsed(const QString& message, LogSeverity severity);

    const Clock& m_clock;
    QLocale m_locale;
    QString m_timeFormat;
    RollingLogFile m_main;
    RollingLogFile m_extended;
    LineMirror m_mirror;
    struct Repeat {
        QString message; // the last line written that may repeat
        QDateTime since; // when it was written
        int count = 0;   // repeats since, not written
    } m_repeat;
    QTimer m_repeatWindowEnd;
};
