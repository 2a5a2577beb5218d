#include "ReportQueue.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include <QDateTime>
#include <QDir>
#include <QFile>

namespace {
constexpr char kUnit = '\x1f';
constexpr qint64 kDayMs = 24LL * 60 * 60 * 1000;
} // namespace

ReportQueue::ReportQueue(QString folder, qsizetype limit,
                         std::function<void(const QString&, LogSeverity)> log,
                         std::function<QDate()> today)
    : m_folder(std::move(folder)), m_limit(std::max<qsizetype>(limit, 2)), m_log(std::move(log)),
      m_today(std::move(today)), m_journal(m_folder + QLatin1String(kJournalName),
                                           QStringLiteral("report"), m_entries, m_log) {
    m_journal.State = [this] {
        return state();
    };
}

QString ReportQueue::OverflowPath(const QDate& day) const {
    return m_folder + QStringLiteral("ReportOverflow ") + day.toString(Qt::ISODate) +
           QStringLiteral(".txt");
}

ReportQueue::Header ReportQueue::header(const QByteArray& entry) {
    // "series US time US controlId US =value" (older journals: no value).
    QList<QByteArray> parts = entry.left(entry.indexOf('\n')).split(kUnit);
    Header header;
    if (parts.size() >= 4 && parts.last().startsWith('=')) {
        header.hasValue = true;
        header.value = QString::fromUtf8(QByteArray::fromPercentEncoding(parts.last().mid(1)));
        parts.removeLast();
    }
    if (parts.size() >= 3) {
        header.time = parts.at(parts.size() - 2).toLongLong();
        header.controlId = QString::fromUtf8(parts.last());
        QList<QByteArray> series = parts.mid(0, parts.size() - 2);
        header.series = QString::fromUtf8(series.join(kUnit));
    }
    return header;
}

void ReportQueue::remember(const QString& series, qint64 time, const QString& value) {
    // Forgotten in steps, not one result at a time.
    if (m_taken[series].emplace(time, value).second &&
        ++m_takenCount > m_takenLimit + m_takenLimit / 8)
        forgetEarliest();
}

void ReportQueue::forgetEarliest() {
    std::vector<qint64> times;
    times.reserve(size_t(m_takenCount));
    for (const auto& [series, taken] : m_taken)
        for (const auto& key : taken)
            times.push_back(key.first);
    if (times.size() <= size_t(m_takenLimit))
        return;
    const auto last = times.begin() + qsizetype(times.size() - size_t(m_takenLimit)) - 1;
    std::nth_element(times.begin(), last, times.end());
    const qint64 forgotten = *last; // results sampled up to this time are forgotten
    const qsizetype before = m_takenCount;
    for (auto series = m_taken.begin(); series != m_taken.end();) {
        auto& taken = series->second;
        auto kept = taken.begin();
        while (kept != taken.end() && kept->first <= forgotten)
            ++kept;
        m_takenCount -= qsizetype(std::distance(taken.begin(), kept));
        taken.erase(taken.begin(), kept);
        series = taken.empty() ? m_taken.erase(series) : std::next(series);
    }
    if (m_log)
        m_log(QStringLiteral("The report queue remembers at most %1 results taken; the %2 sampled "
                             "up to %3 were forgotten and would be reported again if stored again")
                  .arg(m_takenLimit)
                  .arg(before - m_takenCount)
                  .arg(QDateTime::fromMSecsSinceEpoch(forgotten).toString(Qt::ISODate)),
              LogSeverity::Warning);
}

void ReportQueue::take(const Header& header) {
    if (!header.series.isEmpty()) {
        if (header.hasValue) {
            remember(header.series, header.time, header.value);
        } else {
            qint64& mark = m_marks[header.series];
            mark = std::max(mark, header.time);
        }
    }
    m_lastControlId = std::max(m_lastControlId, header.controlId.toULongLong());
}

QByteArray ReportQueue::state() const {
    // The last control ID; then per series "=" and the series, followed by one line per result
    // taken, "+" time TAB value (texts percent-encoded); and the marks of older journals, one
    // line per series: time TAB series.
    QByteArray text = QByteArray::number(m_lastControlId) + '\n';
    const qint64 horizon = QDateTime::currentMSecsSinceEpoch() - kMarkDays * kDayMs;
    for (const auto& [series, taken] : m_taken) {
        auto kept = taken.lower_bound({horizon, QString()});
        if (kept == taken.end())
            continue;
        text += '=' + series.toUtf8().toPercentEncoding() + '\n';
        for (; kept != taken.end(); ++kept)
            text += '+' + QByteArray::number(kept->first) + '\t' +
                    kept->second.toUtf8().toPercentEncoding() + '\n';
    }
    for (const auto& [series, time] : m_marks)
        if (time >= horizon)
            text += QByteArray::number(time) + '\t' + series.toUtf8() + '\n';
    return text;
}

void ReportQueue::readState(const QByteArray& state) {
    const QList<QByteArray> lines = state.split('\n');
    m_lastControlId = std::max(m_lastControlId, lines.value(0).toULongLong());
    QString series;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        const qsizetype tab = line.indexOf('\t');
        if (line.startsWith('=')) {
            series = QString::fromUtf8(QByteArray::fromPercentEncoding(line.mid(1)));
        } else if (line.startsWith('+')) {
            if (tab > 1 && !series.isEmpty())
                remember(series, line.mid(1, tab - 1).toLongLong(),
                         QString::fromUtf8(QByteArray::fromPercentEncoding(line.mid(tab + 1))));
        } else if (tab > 0) {
            qint64& mark = m_marks[QString::fromUtf8(line.mid(tab + 1))];
            mark = std::max(mark, line.left(tab).toLongLong());
        }
    }
}

qsizetype ReportQueue::Load() {
    m_entries.clear();
    m_taken.clear();
    m_takenCount = 0;
    m_marks.clear();
    CheckedJournal::Contents contents =
        m_journal.Read([this](const QByteArray& entry) { take(header(entry)); });
    if (!contents.readable)
        return 0;
    readState(contents.state);
    m_entries.swap(contents.entries);
    // Entries without a message are left out.
    const auto before = m_entries.size();
    std::erase_if(m_entries, [](const QByteArray& entry) {
        const qsizetype at = entry.indexOf('\n');
        return at < 0 || !entry.mid(at + 1).startsWith("MSH");
    });
    const auto lost = qsizetype(before - m_entries.size());
    if ((contents.damaged > 0 || lost > 0) && m_log)
        m_log(QStringLiteral("The report journal %1 held %2 damaged lines and %3 entries without a "
                             "message; they were skipped and %4 messages were taken back")
                  .arg(JournalPath())
                  .arg(contents.damaged)
                  .arg(lost)
                  .arg(Count()),
              LogSeverity::Warning);
    m_journal.Rewrite();
    return Count();
}

bool ReportQueue::Taken(const QString& series, qint64 time, const QString& value) const {
    if (const auto mark = m_marks.find(series); mark != m_marks.end() && mark->second >= time)
        return true;
    const auto taken = m_taken.find(series);
    return taken != m_taken.end() && taken->second.contains({time, value});
}

QString ReportQueue::NextControlId(qint64 nowMs) {
    m_lastControlId = std::max(m_lastControlId + 1, quint64(std::max<qint64>(nowMs, 0)) * 1000);
    return QString::number(m_lastControlId);
}

bool ReportQueue::Add(const QString& series, qint64 time, const QString& value,
                      const QString& controlId, const QByteArray& message) {
    if (Taken(series, time, value))
        return false;
    take(Header{series, time, controlId, true, value});
    m_entries.push_back(series.toUtf8() + kUnit + QByteArray::number(time) + kUnit +
                        controlId.toUtf8() + kUnit + '=' + value.toUtf8().toPercentEncoding() +
                        '\n' + message);
    m_journal.NoteAppended(Count() - 1);
    enforceLimit();
    return true;
}

QByteArray ReportQueue::FrontMessage() const {
    if (m_entries.empty())
        return {};
    const QByteArray& entry = m_entries.front();
    return entry.mid(entry.indexOf('\n') + 1);
}

QString ReportQueue::FrontControlId() const {
    return m_entries.empty() ? QString() : header(m_entries.front()).controlId;
}

void ReportQueue::RemoveFront() {
    if (m_entries.empty())
        return;
    m_entries.pop_front();
    m_journal.NoteRemovedFront(1);
    m_journal.CompactIfWorth();
}

bool ReportQueue::RefuseFront(const QString& code, const QString& text, const QDateTime& when) {
    if (m_entries.empty())
        return true;
    QDir().mkpath(m_folder);
    QFile refused(RefusedPath());
    QByteArray record = when.toString(Qt::ISODateWithMs).toUtf8() + ' ' + code.toUtf8() + ' ' +
                        text.toUtf8() + '\n' + FrontMessage();
    record.replace('\r', '\n');
    record += '\n';
    if (!refused.open(QIODevice::WriteOnly | QIODevice::Append) ||
        refused.write(record) != record.size() || !refused.flush()) {
        if (m_log)
            m_log(QStringLiteral("Error: the refused report messages file %1 cannot be written "
                                 "(%2); the message stays queued")
                      .arg(refused.fileName(), refused.errorString()),
                  LogSeverity::Error);
        return false;
    }
    RemoveFront();
    return true;
}

void ReportQueue::enforceLimit() {
    if (Count() <= m_limit)
        return;
    // The front message may be on its way to the engine; the oldest after it go.
    const qsizetype moving = Count() - m_limit;
    QByteArray moved;
    for (qsizetype i = 1; i <= moving; ++i) {
        const QByteArray& entry = m_entries[size_t(i)];
        QByteArray message = entry.mid(entry.indexOf('\n') + 1);
        message.replace('\r', '\n');
        moved += message + '\n';
    }
    QFile overflow(OverflowPath(m_today()));
    const bool kept = overflow.open(QIODevice::WriteOnly | QIODevice::Append) &&
                      overflow.write(moved) == moved.size() && overflow.flush();
    if (!kept) {
        if (m_log)
            m_log(QStringLiteral("Error: the report queue passed %1 messages and the overflow "
                                 "file %2 cannot be written (%3); the queue keeps them")
                      .arg(m_limit)
                      .arg(overflow.fileName(), overflow.errorString()),
                  LogSeverity::Error);
        return;
    }
    m_entries.erase(m_entries.begin() + 1, m_entries.begin() + 1 + moving);
    m_journal.NoteRemoved(1, moving);
    m_journal.CompactIfWorth();
    if (m_log)
        m_log(QStringLiteral("The report queue passed %1 messages; the oldest %2 were moved to ")
                      .arg(m_limit)
                      .arg(moving) +
                  overflow.fileName(),
              LogSeverity::Warning);
}
