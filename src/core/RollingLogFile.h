#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

class Clock;

// A short window of recent log lines kept in memory and written out whole, CR LF separated in
// Windows-1252, so the file on disk is always current for anyone reading it.
//
// The file is rewritten after every line; while an event loop runs, the lines of one turn of
// the loop are written together before the loop waits again. A rewrite goes to a new file that
// then takes the log's name in one step, without forcing it to the disk: an interruption (a
// crash, a power cut) may cost the last lines, never the file.
//
// A line that cannot be written stays in memory. After a failed write the file is left alone
// for a pause, so that an unreachable log folder does not slow down every line that follows;
// then the held lines are written again, whether or not a new line came. A log folder that
// has disappeared is created again (one level).
class RollingLogFile {
public:
    RollingLogFile(int trimAbove, const Clock& clock);
    // Writes the lines still waiting for the end of the event-loop turn.
    ~RollingLogFile();
    RollingLogFile(const RollingLogFile&) = delete;
    RollingLogFile& operator=(const RollingLogFile&) = delete;

    void setFilePath(const QString& path) { m_filePath = path; }
    QString filePath() const { return m_filePath; }

    // Loads the lines of an earlier run; a missing or unreadable file leaves the list as is.
    void loadExisting();

    // Adds one line (already formatted) and writes the whole list. Never fails.
    void append(const QString& line);

    const QStringList& lines() const { return m_lines; }
    bool lastWriteFailed() const { return m_lastWriteFailed; }

    static constexpr int kRetryPauseSeconds = 30;
    // How often held lines look at the clock to see whether the pause is over.
    static constexpr int kRetryCheckMilliseconds = 1000;

private:
    void writeSoon();
    void writeFile(bool evenDuringPause = false);
    bool replaceFile() const;
    bool writeDirectly() const;
    void retryIfDue();

    int m_trimAbove;
    const Clock& m_clock;
    QString m_filePath;
    QStringList m_lines;
    // The file's bytes and each line's share of them, kept with the lines.
    QByteArray m_bytes;
    QList<qsizetype> m_lineSizes;
    bool m_unwritten = false;
    bool m_writeQueued = false;
    bool m_lastWriteFailed = false;
    QDateTime m_nextWriteAttempt;
    QObject m_context; // receives the write queued for the end of the turn
    QTimer m_retry;
};
