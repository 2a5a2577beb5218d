#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <utility>

#include <QByteArray>
#include <QDate>
#include <QString>

#include "CheckedJournal.h"

// The messages waiting for the hospital's integration engine, kept in a checked journal in the
// data root so that nothing queued is lost across a restart, a kill or a full disk. The queue
// also remembers every result it took (its series, sample time and value), so that a result
// stored again (a patient's data file rebuilt from its archive) is not reported twice while a
// result that is new is always taken, however it is dated; and the last message control ID
// given, so that IDs stay unique across restarts. What is remembered is bounded: results sampled
// more than kMarkDays ago are forgotten, and past kTakenLimit results the ones sampled earliest
// go first (a rebuild may then report them again). The queue is bounded:
// past its limit the oldest messages after the one being sent move to a dated overflow file,
// with a log line. Messages the engine refuses move to the refused-messages file.
class ReportQueue {
public:
    static constexpr auto kJournalName = "ReportQueue.journal";
    static constexpr auto kRefusedName = "ReportRefused.txt";
    static constexpr int kDefaultLimit = 100000;
    // Results sampled this long ago are forgotten when the journal is rewritten.
    static constexpr qint64 kMarkDays = 400;
    static constexpr qsizetype kTakenLimit = 250000;

    ReportQueue(QString folder, qsizetype limit,
                std::function<void(const QString&, LogSeverity)> log, std::function<QDate()> today);

    // Takes back what the journal holds; returns the number of messages restored.
    qsizetype Load();

    // Whether the result of the series sampled at `time` (ms since the epoch) with `value` (a
    // number's shortest text, an event's text) was taken before.
    bool Taken(const QString& series, qint64 time, const QString& value) const;
    // A new control ID, larger than every one given before.
    QString NextControlId(qint64 nowMs);
    // Queues the message of a result; false when that result was taken before.
    bool Add(const QString& series, qint64 time, const QString& value, const QString& controlId,
             const QByteArray& message);
    // Results remembered as taken, and how many are kept at most (kTakenLimit by default).
    qsizetype TakenCount() const { return m_takenCount; }
    void SetTakenLimit(qsizetype limit) { m_takenLimit = std::max<qsizetype>(limit, 1); }

    qsizetype Count() const { return qsizetype(m_entries.size()); }
    QByteArray FrontMessage() const;
    QString FrontControlId() const;
    // The front message was acknowledged.
    void RemoveFront();
    // The front message was refused: it is written to the refused-messages file with the
    // engine's answer; false (and kept) when that file cannot be written.
    bool RefuseFront(const QString& code, const QString& text, const QDateTime& when);
    // Tries a journal that could not be written again.
    void Maintain() { m_journal.Retry(); }
    bool JournalWritten() const { return m_journal.Written(); }
    void SetJournalRetryMs(int ms) { m_journal.SetRetryMs(ms); }

    QString JournalPath() const { return m_folder + QLatin1String(kJournalName); }
    QString RefusedPath() const { return m_folder + QLatin1String(kRefusedName); }
    QString OverflowPath(const QDate& day) const;

private:
    struct Header {
        QString series;
        qint64 time = 0;
        QString controlId;
        bool hasValue = false; // entries of older journals name no value
        QString value;
    };
    using TakenSet = std::set<std::pair<qint64, QString>>; // sample time, value
    static Header header(const QByteArray& entry);
    void take(const Header& header);
    void remember(const QString& series, qint64 time, const QString& value);
    void forgetEarliest();
    QByteArray state() const;
    void readState(const QByteArray& state);
    void enforceLimit();

    QString m_folder;
    qsizetype m_limit;
    std::function<void(const QString&, LogSeverity)> m_log;
    std::function<QDate()> m_today;
    std::deque<QByteArray> m_entries; // header line, LF, message
    std::map<QString, TakenSet> m_taken;
    qsizetype m_takenCount = 0;
    qsizetype m_takenLimit = kTakenLimit;
    // From journals that kept only the time of each series' last result: results of the series
    // sampled up to then count as taken.
    std::map<QString, qint64> m_marks;
    quint64 m_lastControlId = 0;
    CheckedJournal m_journal;
};
