#include "StoredRelayList.h"

#include <QDir>

#include "FileReplacement.h"

namespace {

bool isEot(const QByteArray& entry) {
    return entry.size() == 1 && entry.at(0) == TRelayList::kEot;
}

} // namespace

StoredRelayList::StoredRelayList(QString folder, qsizetype limit,
                                 std::function<void(const QString&)> log,
                                 std::function<QDate()> today)
    : m_folder(std::move(folder)), m_limit(std::max<qsizetype>(limit, 3)), m_log(std::move(log)),
      m_today(std::move(today)) {}

QString StoredRelayList::OverflowPath(const QDate& day) const {
    return m_folder + QStringLiteral("RelayOverflow ") + day.toString(Qt::ISODate) +
           QStringLiteral(".txt");
}

qsizetype StoredRelayList::Load() {
    m_entries.clear();
    QFile file(JournalPath());
    if (!file.exists())
        return 0; // the journal is created with the first entry
    if (file.open(QIODevice::ReadOnly)) {
        // "A " + entry in base 64: queued; "D": the first entry left; "X i n": n entries from i.
        while (!file.atEnd()) {
            const QByteArray line = file.readLine().trimmed();
            if (line.startsWith("A ")) {
                m_entries.push_back(QByteArray::fromBase64(line.mid(2)));
            } else if (line == "D") {
                if (!m_entries.empty())
                    m_entries.pop_front();
            } else if (line.startsWith("X ")) {
                const QList<QByteArray> parts = line.split(' ');
                const qsizetype from = parts.value(1).toLongLong();
                const qsizetype count = parts.value(2).toLongLong();
                if (from >= 0 && count >= 0 && from + count <= Count())
                    m_entries.erase(m_entries.begin() + from, m_entries.begin() + from + count);
            }
        }
        file.close();
    }
    rewrite();
    return Count();
}

void StoredRelayList::note(const QByteArray& line) {
    if (!m_journal.isOpen()) {
        QDir().mkpath(m_folder);
        m_journal.setFileName(JournalPath());
        if (!m_journal.open(QIODevice::WriteOnly | QIODevice::Append))
            return;
    }
    m_journal.write(line + '\n');
    m_journal.flush();
}

void StoredRelayList::rewrite() {
    m_journal.close();
    QDir().mkpath(m_folder);
    QByteArray contents;
    for (const QByteArray& entry : m_entries)
        contents += "A " + entry.toBase64() + '\n';
    // A journal that cannot be rewritten (a full disk) stays as it was: it still holds every
    // entry, with the removals noted after them.
    const QString failure = FileReplacement::replace(JournalPath(), contents);
    if (!failure.isEmpty() && m_log)
        m_log(failure);
    m_removals = 0;
}

void StoredRelayList::appended(const QByteArray& entry) {
    note("A " + entry.toBase64());
    enforceLimit();
}

void StoredRelayList::DeleteFirst() {
    if (Count() == 0)
        return;
    TRelayList::DeleteFirst();
    note("D");
    if (++m_removals > 2 * Count() + 1000)
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
    while (start < Count() && !isEot(Entry(start)))
        ++start;
    ++start;
    QFile overflow(OverflowPath(m_today()));
    const bool open = overflow.open(QIODevice::WriteOnly | QIODevice::Append);
    int messages = 0;
    qsizetype removed = 0;
    while (Count() - removed > m_limit) {
        qsizetype end = start + removed;
        while (end < Count() && !isEot(Entry(end)))
            ++end;
        if (end >= Count())
            break; // only the message still being built is left
        for (qsizetype i = start + removed; i <= end; ++i) {
            if (open)
                overflow.write(Entry(i) + "\r\n");
        }
        removed = end + 1 - start;
        ++messages;
    }
    if (removed == 0)
        return;
    m_entries.erase(m_entries.begin() + start, m_entries.begin() + start + removed);
    note("X " + QByteArray::number(start) + ' ' + QByteArray::number(removed));
    // What went to the overflow file leaves the journal too, or a long outage fills the disk.
    m_removals += removed;
    if (m_removals > 2 * Count() + 1000)
        rewrite();
    if (m_log)
        m_log(QStringLiteral("The relay queue passed %1 entries; the oldest %2 messages (%3 "
                             "entries) %4 ")
                  .arg(m_limit)
                  .arg(messages)
                  .arg(removed)
                  .arg(open ? QStringLiteral("were moved to")
                            : QStringLiteral("were dropped, they could not be written to")) +
              overflow.fileName());
}
