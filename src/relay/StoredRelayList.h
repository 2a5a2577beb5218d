#pragma once

#include <functional>

#include <QDate>
#include <QString>

#include "CheckedJournal.h"
#include "EventLog.h"
#include "TRelayList.h"

// The relay queue kept in a journal file, so that messages not yet sent survive a restart: every
// message is appended to the journal as it is queued, and removals are noted; the journal is
// rewritten when the removals outweigh what it holds. Every journal write is checked: while the
// journal cannot be written (a full disk) the queue is kept in memory, and the journal is
// written whole again once it can be. The queue is bounded: when it holds more than its limit,
// the oldest complete messages after the one being sent move to a dated overflow file beside
// the journal, with a log line.
class StoredRelayList : public TRelayList {
public:
    static constexpr auto kJournalName = "RelayQueue.journal";
    static constexpr int kDefaultLimit = 100000;
    // How often a journal that failed is tried again, at the most.
    static constexpr int kJournalRetryMs = CheckedJournal::kDefaultRetryMs;

    // folder: where the journal and the overflow files are kept (the data root).
    StoredRelayList(QString folder, qsizetype limit,
                    std::function<void(const QString&, LogSeverity)> log,
                    std::function<QDate()> today);

    // Takes back what the journal holds; returns the number of entries restored. Damaged lines
    // and entries that do not form whole messages are skipped and counted in one log line.
    qsizetype Load();

    void DeleteFirst() override;
    void DeleteFront(qsizetype count) override;
    void Clear() override;
    void Maintain() override;

    QString JournalPath() const { return m_folder + QLatin1String(kJournalName); }
    QString OverflowPath(const QDate& day) const { return OverflowPath(m_folder, day); }
    static QString OverflowPath(const QString& folder, const QDate& day);
    // Whether the journal holds the whole queue.
    bool JournalWritten() const { return m_journal.Written(); }
    void SetJournalRetryMs(int ms) { m_journal.SetRetryMs(ms); }

protected:
    void appended(qsizetype first) override;

private:
    void enforceLimit();

    QString m_folder;
    qsizetype m_limit;
    std::function<void(const QString&, LogSeverity)> m_log;
    std::function<QDate()> m_today;
    CheckedJournal m_journal;
};
