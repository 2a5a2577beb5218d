#pragma once

#include <functional>

#include <QLocale>
#include <QString>

#include "LogPrefixes.h"
#include "RollingLogFile.h"

class Clock;

// The collector's two event logs: the main log every subsystem writes to, and the extended
// log of protocol line handling and XML duplicates. Neither ever fails towards its caller.
class EventLog {
public:
    static constexpr int kMainTrimAbove = 200;      // at most 201 lines
    static constexpr int kExtendedTrimAbove = 1000; // at most 1001 lines
    static constexpr auto kMainFileName = "Tarvo Logfile.txt";
    static constexpr auto kExtendedFileName = "Tarvo Logfile Extended.txt";

    explicit EventLog(const Clock& clock, QLocale locale = QLocale::system());

    // Points both logs at their files in the folder (a text the file names are appended to)
    // and, when the folder exists, loads the lines of earlier runs; otherwise creates the
    // folder (one level). Returns an error text when the folder could not be created.
    QString open(const QString& logFolder);

    void writeLog(const QString& message);
    void writeExtendedLog(const QString& message);

    // Also hands every line of either log, once it is in its list, to the mirror: the message
    // as logged and the line as the file holds it (the service journal keeps them all).
    using LineMirror = std::function<void(const QString& message, const QString& line)>;
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

    const Clock& m_clock;
    QLocale m_locale;
    QString m_timeFormat;
    RollingLogFile m_main;
    RollingLogFile m_extended;
    LineMirror m_mirror;
};
