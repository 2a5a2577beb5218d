#pragma once

#include <functional>

#include <QDate>
#include <QFile>
#include <QString>

#include "TRelayList.h"

// The relay queue kept in a journal file, so that messages not yet sent survive a restart: every
// entry is appended to the journal as it is queued, and removals are noted; the journal is
// rewritten when the removals outweigh what it holds. The queue is bounded: when it holds more
// than its limit, the oldest complete messages after the one being sent move to a dated
// overflow file beside the journal, with a log line.
class StoredRelayList : public TRelayList {
public:
    static constexpr auto kJournalName = "RelayQueue.journal";
    static constexpr int kDefaultLimit = 100000;

    // folder: where the journal and the overflow files are kept (the data root).
    StoredRelayList(QString folder, qsizetype limit, std::function<void(const QString&)> log,
                    std::function<QDate()> today);

    // Takes back what the journal holds; returns the number of entries restored.
    qsizetype Load();

    void DeleteFirst() override;
    void Clear() override;

    QString JournalPath() const { return m_folder + QLatin1String(kJournalName); }
    QString OverflowPath(const QDate& day) const;

protected:
    void appended(const QByteArray& entry) override;

private:
    void note(const QByteArray& line);
    void rewrite();
    void enforceLimit();

    QString m_folder;
    qsizetype m_limit;
    std::function<void(const QString&)> m_log;
    std::function<QDate()> m_today;
    QFile m_journal;
    qsizetype m_removals = 0;
};
