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
      m_today(std::move(today)) {}

QString StoredRelayList::OverflowPath(const QString& folder, const QDate& day) {
    return folder + QStringLiteral("RelayOverflow ") + day.toString(Qt::ISODate) +
           QStringLiteral(".txt");
}

void StoredRelayList::takeBack(const QByteArray& contents, qsizetype& damaged) {
    // "A " + entry in base 64: queued; "D": the first entry left; "X i n": n entries from i.
    for (const QByteArray& raw : contents.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith("A ")) {
            const auto decoded = QByteArray::fromBase64Encoding(
                line.mid(2), QByteArray::AbortOnBase64DecodingErrors);
            if (decoded && !decoded.decoded.isEmpty())
                m_entries.push_back(decoded.decoded);
            else
                ++damaged;
        } else if (line == "D") {
            if (!m_entries.empty())
                m_entries.pop_front();
        } else if (line.startsWith("X ")) {
            const QList<QByteArray> parts = line.split(' ');
            bool fromOk = false;
            bool countOk = false;
            const qlonglong from = parts.value(1).toLongLong(&fromOk);
            const qlonglong count = parts.value(2).toLongLong(&countOk);
            if (parts.size() == 3 && fromOk && countOk && from >= 0 && count >= 0 &&
                from <= Count() && count <= Count() - from)
                m_entries.erase(m_entries.begin() + from, m_entries.begin() + from + count);
            else
                ++damaged;
        } else {
            ++damaged;
        }
    }
}

qsizetype StoredRelayList::Load() {
    m_entries.clear();
    QFile file(JournalPath());
    if (!file.exists())
        return 0; // the journal is created with the first message
    qsizetype damaged = 0;
    if (file.open(QIODevice::ReadOnly)) {
        takeBack(file.readAll(), damaged);
        file.close();
    } else if (m_log) {
        m_log(QStringLiteral("Error: the relay journal ") + JournalPath() +
                  QStringLiteral(" cannot be read: ") + file.errorString(),
              LogSeverity::Error);
        return 0; // left as it is for a later start
    }
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
    rewrite();
    return Count();
}

void StoredRelayList::note(const QByteArray& lines) {
    if (!m_journalOk) {
        retryJournal();
        return;
    }
    if (!m_journal.isOpen()) {
        QDir().mkpath(m_folder);
        m_journal.setFileName(JournalPath());
        m_journal.open(QIODevice::WriteOnly | QIODevice::Append);
    }
    if (m_journal.isOpen() && m_journal.write(lines) == lines.size() && m_journal.flush())
        return;
    const QString reason = m_journal.errorString();
    m_journal.close();
    m_journalOk = false;
    m_sinceFailure.start();
    if (m_log)
        m_log(
            QStringLiteral("Error: the relay journal ") + JournalPath() +
                QStringLiteral(" cannot be written (") + reason +
                QStringLiteral("); the relay queue is kept in memory and written to it again when "
                               "it can be"),
            LogSeverity::Error);
}

bool StoredRelayList::rewrite() {
    m_journal.close();
    QDir().mkpath(m_folder);
    QByteArray contents;
    for (const QByteArray& entry : m_entries)
        contents += "A " + entry.toBase64() + '\n';
    // A journal that cannot be rewritten (a full disk) stays as it was: it still holds every
    // entry, with the removals noted after them.
    const QString failure = FileReplacement::replace(JournalPath(), contents);
    if (!failure.isEmpty()) {
        if (m_journalOk && m_log)
            m_log(failure, LogSeverity::Error);
        m_journalOk = false;
        m_sinceFailure.start();
        return false;
    }
    m_removals = 0;
    return true;
}

void StoredRelayList::retryJournal() {
    if (m_journalOk || (m_sinceFailure.isValid() && m_sinceFailure.elapsed() < m_retryMs))
        return;
    if (!rewrite())
        return;
    m_journalOk = true;
    if (m_log)
        m_log(QStringLiteral("The relay journal ") + JournalPath() +
                  QStringLiteral(" is written again; it holds the %1 queued entries").arg(Count()),
              LogSeverity::Info);
}

void StoredRelayList::Maintain() {
    retryJournal();
}

void StoredRelayList::appended(qsizetype first) {
    QByteArray lines;
    for (qsizetype i = first; i < Count(); ++i)
        lines += "A " + Entry(i).toBase64() + '\n';
    note(lines);
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
    QByteArray notes;
    for (qsizetype i = 0; i < count; ++i)
        notes += "D\n";
    note(notes);
    m_removals += count;
    if (m_journalOk && m_removals > 2 * Count() + 1000)
        rewrite();
}

void StoredRelayList::Clear() {
    TRelayList::Clear();
    rewrite();
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
    note("X " + QByteArray::number(start) + ' ' + QByteArray::number(removed) + '\n');
    // What went to the overflow file leaves the journal too, or a long outage fills the disk.
    m_removals += removed;
    if (m_journalOk && m_removals > 2 * Count() + 1000)
        rewrite();
    if (m_log)
        m_log(QStringLiteral("The relay queue passed %1 entries; the oldest %2 messages (%3 "
                             "entries) were moved to ")
                      .arg(m_limit)
                      .arg(messages)
                      .arg(removed) +
                  overflow.fileName(),
              LogSeverity::Warning);
}
