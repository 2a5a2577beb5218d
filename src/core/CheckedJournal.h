#pragma once

#include <deque>
#include <functional>

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include "EventLog.h"

// The journal of a queue kept in memory, so that what the queue holds survives a restart, a
// kill or a full disk. Every entry is appended to the journal as it joins the queue ("A " and
// the entry in base 64), and removals are noted ("D": the first entry left; "X i n": n entries
// from index i left). The journal is rewritten whole when the removals outweigh what it holds.
// Every write is checked: while the journal cannot be written the queue is kept in memory only,
// and the journal is written whole again once it can be (tried at most every retry interval).
// An owner may keep a state of its own in the journal ("S " and the state in base 64; the
// last one counts), written first on every rewrite.
class CheckedJournal {
public:
    using Log = std::function<void(const QString&, LogSeverity)>;
    static constexpr int kDefaultRetryMs = 5000;

    // entries: the queue the journal follows (the owner's, alive as long as the journal).
    // noun: what the log lines call the queue ("relay": "the relay journal", "the relay queue").
    CheckedJournal(QString path, QString noun, const std::deque<QByteArray>& entries, Log log);

    const QString& Path() const { return m_path; }

    struct Contents {
        std::deque<QByteArray> entries;
        QByteArray state;      // the last state noted (empty when none)
        qsizetype damaged = 0; // lines that could not be read
        bool readable = true;  // false when the journal exists but cannot be read (logged)
    };
    // Reads the journal as it is on disk. `added` (when given) sees every entry that was ever
    // appended in it, in order, including those removed since.
    Contents Read(const std::function<void(const QByteArray&)>& added = {}) const;

    // Entries from `first` to the end of the queue joined it.
    void NoteAppended(qsizetype first);
    // The first `count` entries left the queue.
    void NoteRemovedFront(qsizetype count);
    // `count` entries from `from` left the queue.
    void NoteRemoved(qsizetype from, qsizetype count);
    // A new state of the owner (see State).
    void NoteState(const QByteArray& state);
    // The state written first on every rewrite.
    std::function<QByteArray()> State;

    // Writes the journal whole from the queue; false (logged once) when it cannot be.
    bool Rewrite();
    // Rewrites the journal when the removals noted outweigh what the queue holds.
    void CompactIfWorth();
    // A journal that could not be written is tried again (called now and then by the owner).
    void Retry();
    // Whether the journal holds the whole queue.
    bool Written() const { return m_ok; }
    void SetRetryMs(int ms) { m_retryMs = ms; }

private:
    void note(const QByteArray& lines);

    QString m_path;
    QString m_noun;
    const std::deque<QByteArray>& m_entries;
    Log m_log;
    QFile m_file;
    qsizetype m_removals = 0;
    bool m_ok = true;
    int m_retryMs = kDefaultRetryMs;
    QElapsedTimer m_sinceFailure;
};
