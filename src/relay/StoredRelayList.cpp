#include "StoredRelayList.h"

#include <algorithm>

#include <QDir>

#include "FileReplacement.h"

namespace {

// Whether the entries from `at` form one whole message (ENQ, frames, EOT); its end when so.
qsizetype wholeMessageEnd(const std::deque<QByteArray>& entries, qsizetype at) {
    const auto count = qsizetype(entries.size());
    if (at >= count || entries[size_t(at)] != QByteArray(1, TRelayList::kEnq))
        return -1;
    qsizetype index = at + 1;
    while (index < count && entries[size_t(index)].startsWith(TRelayList::kStx))
        ++index;
    if (index == at + 1 || index >= count || !TRelayList::IsEot(entries[size_t(index)]))
        return -1;
    return index;
}

} // namespace

StoredRelayList::StoredRelayList(QString folder, qsizetype limit,
                                 std::function<void(const QString&, LogSeverity)> log,
                                 std::function<QDate()> today)
    : m_folder(std::move(folder)), m_limit(std::max<qsizetype>(limit, 3)), m_log(std::move(log)),
      m_today(std::move(today)),
      m_journal(m_folder + QLatin1String(kJournalName), QStringLiteral("relay"), m_entries, m_log) {
}

QString StoredRelayList::OverflowPath(const QString& folder, const QDate& day) {
    return folder + QStringLiteral("RelayOverflow ") + day.toString(Qt::ISODate) +
           QStringLiteral(".txt");
}

qsizetype StoredRelayList::Load() {
    m_entries.clear();
    CheckedJournal::Contents contents = m_journal.Read();
    if (!contents.readable)
        return 0; // left as it is for a later start
    m_entries.swap(contents.entries);
    const qsizetype damaged = contents.damaged;
    // Only whole messages are sent: entries that belong to none are left out.
    std::deque<QByteArray> whole;
    qsizetype lost = 0;
    for (qsizetype at = 0; at < Count();) {
        const qsizetype end = wholeMessageEnd(m_entries, at);
        if (end < 0) {
            ++lost;
            ++at;
            continue;
        }
        whole.insert(whole.end(), m_entries.begin() + at, m_entries.begin() + end + 1);
        at = end + 1;
    }
    m_entries.swap(whole);
    m_queuedAt.assign(size_t(std::count_if(m_entries.begin(), m_entries.end(), IsEot)),
                      QDateTime::currentMSecsSinceEpoch());
    if ((damaged > 0 || lost > 0) && m_log)
        m_log(QStringLiteral("The relay journal %1 held %2 damaged lines and %3 entries outside "
                             "a whole message; they were skipped and %4 entries were taken back")
                  .arg(JournalPath())
                  .arg(damaged)
                  .arg(lost)
                  .arg(Count()),
              LogSeverity::Warning);
    m_journal.Rewrite();
    return Count();
}

void StoredRelayList::Maintain() {
    m_journal.Retry();
}

void StoredRelayList::appended(qsizetype first) {
    m_journal.NoteAppended(first);
    enforceLimit();
}

void StoredRelayList::DeleteFirst() {
    DeleteFront(1);
}

void StoredRelayList::DeleteFront(qsizetype count) {
    count = std::min(count, Count());
    if (count <= 0)
        return;
    TRelayList::DeleteFront(count);
    m_journal.NoteRemovedFront(count);
    m_journal.CompactIfWorth();
}

void StoredRelayList::Clear() {
    TRelayList::Clear();
    m_journal.Rewrite();
}

void StoredRelayList::enforceLimit() {
    if (Count() <= m_limit)
        return;
    // The front message may be on its way to the host; the oldest after it go.
    qsizetype start = 0;
    while (start < Count() && !IsEot(Entry(start)))
        ++start;
    ++start;
    QFile overflow(OverflowPath(m_today()));
    const bool open = overflow.open(QIODevice::WriteOnly | QIODevice::Append);
    QByteArray moved;
    int messages = 0;
    qsizetype removed = 0;
    while (Count() - removed > m_limit) {
        qsizetype end = start + removed;
        while (end < Count() && !IsEot(Entry(end)))
            ++end;
        if (end >= Count())
            break;
        for (qsizetype i = start + removed; i <= end; ++i)
            moved += Entry(i) + "\r\n";
        removed = end + 1 - start;
        ++messages;
    }
    if (removed == 0)
        return;
    // Entries leave the queue only once the overflow file holds them.
    const bool kept = open && overflow.write(moved) == moved.size() && overflow.flush();
    if (!kept) {
        if (m_log)
            m_log(QStringLiteral("Error: the relay queue passed %1 entries and the overflow file "
                                 "%2 cannot be written (%3); the queue keeps them")
                      .arg(m_limit)
                      .arg(overflow.fileName(), overflow.errorString()),
                  LogSeverity::Error);
        return;
    }
    m_entries.erase(m_entries.begin() + start, m_entries.begin() + start + removed);
    // The front message stays; the times of the messages after it go with them.
    if (qsizetype(m_queuedAt.size()) > messages)
        m_queuedAt.erase(m_queuedAt.begin() + 1, m_queuedAt.begin() + 1 + messages);
    m_journal.NoteRemoved(start, removed);
    // What went to the overflow file leaves the journal too, or a long outage fills the disk.
    m_journal.CompactIfWorth();
    if (m_log)
        m_log(QStringLiteral("The relay queue passed %1 entries; the oldest %2 messages (%3 "
                             "entries) were moved to ")
                      .arg(m_limit)
                      .arg(messages)
                      .arg(removed) +
                  overflow.fileName(),
              LogSeverity::Warning);
}
