#pragma once

#include <QDateTime>
#include <QStringList>

class Clock;

// A short window of recent log lines kept in memory and written out whole, CR LF separated in
// Windows-1252, after every line, so the file on disk is always current.
//
// A line that cannot be written stays in memory and goes to disk with the next successful
// write. After a failed write the file is left alone for a while, so that an unreachable log
// folder does not slow down every line that follows.
class RollingLogFile {
public:
    RollingLogFile(int trimAbove, const Clock& clock);

    void setFilePath(const QString& path) { m_filePath = path; }
    QString filePath() const { return m_filePath; }

    // Loads the lines of an earlier run; a missing or unreadable file leaves the list as is.
    void loadExisting();

    // Adds one line (already formatted) and writes the whole list. Never fails.
    void append(const QString& line);

    const QStringList& lines() const { return m_lines; }
    bool lastWriteFailed() const { return m_lastWriteFailed; }

    static constexpr int kRetryPauseSeconds = 30;

private:
    void writeFile();

    int m_trimAbove;
    const Clock& m_clock;
    QString m_filePath;
    QStringList m_lines;
    bool m_lastWriteFailed = false;
    QDateTime m_nextWriteAttempt;
};
