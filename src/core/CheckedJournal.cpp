#include "CheckedJournal.h"

#include <QDir>
#include <QFileInfo>

#include "FileReplacement.h"

CheckedJournal::CheckedJournal(QString path, QString noun, const std::deque<QByteArray>& entries,
                               Log log)
    : m_path(std::move(path)), m_noun(std::move(noun)), m_entries(entries), m_log(std::move(log)) {}

CheckedJournal::Contents
CheckedJournal::Read(const std::function<void(const QByteArray&)>& added) const {
    Contents contents;
    QFile file(m_path);
    if (!file.exists())
        return contents; // the journal is created with the first entry
    if (!file.open(QIODevice::ReadOnly)) {
        contents.readable = false;
        if (m_log)
            m_log(QStringLiteral("Error: the ") + m_noun + QStringLiteral(" journal ") + m_path +
                      QStringLiteral(" cannot be read: ") + file.errorString(),
                  LogSeverity::Error);
        return contents;
    }
    const QByteArray bytes = file.readAll();
    std::deque<QByteArray>& entries = contents.entries;
    for (const QByteArray& raw : bytes.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith("A ") || line.startsWith("S ")) {
            const auto decoded = QByteArray::fromBase64Encoding(
                line.mid(2), QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded || decoded.decoded.isEmpty()) {
                ++contents.damaged;
            } else if (line.at(0) == 'S') {
                contents.state = decoded.decoded;
            } else {
                entries.push_back(decoded.decoded);
                if (added)
                    added(decoded.decoded);
            }
        } else if (line == "D") {
            if (!entries.empty())
                entries.pop_front();
        } else if (line.startsWith("X ")) {
            const QList<QByteArray> parts = line.split(' ');
            bool fromOk = false;
            bool countOk = false;
            const qlonglong from = parts.value(1).toLongLong(&fromOk);
            const qlonglong count = parts.value(2).toLongLong(&countOk);
            const auto size = qlonglong(entries.size());
            if (parts.size() == 3 && fromOk && countOk && from >= 0 && count >= 0 && from <= size &&
                count <= size - from)
                entries.erase(entries.begin() + from, entries.begin() + from + count);
            else
                ++contents.damaged;
        } else {
            ++contents.damaged;
        }
    }
    return contents;
}

void CheckedJournal::note(const QByteArray& lines) {
    if (!m_ok) {
        Retry();
        return;
    }
    if (!m_file.isOpen()) {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        m_file.setFileName(m_path);
        m_file.open(QIODevice::WriteOnly | QIODevice::Append);
    }
    if (m_file.isOpen() && m_file.write(lines) == lines.size() && m_file.flush())
        return;
    const QString reason = m_file.errorString();
    m_file.close();
    m_ok = false;
    m_sinceFailure.start();
    if (m_log)
        m_log(QStringLiteral("Error: the ") + m_noun + QStringLiteral(" journal ") + m_path +
                  QStringLiteral(" cannot be written (") + reason + QStringLiteral("); the ") +
                  m_noun +
                  QStringLiteral(" queue is kept in memory and written to it again when it can be"),
              LogSeverity::Error);
}

void CheckedJournal::NoteAppended(qsizetype first) {
    QByteArray lines;
    for (auto at = size_t(std::max<qsizetype>(first, 0)); at < m_entries.size(); ++at)
        lines += "A " + m_entries[at].toBase64() + '\n';
    note(lines);
}

void CheckedJournal::NoteRemovedFront(qsizetype count) {
    if (count <= 0)
        return;
    QByteArray notes;
    for (qsizetype i = 0; i < count; ++i)
        notes += "D\n";
    note(notes);
    m_removals += count;
}

void CheckedJournal::NoteRemoved(qsizetype from, qsizetype count) {
    if (count <= 0)
        return;
    note("X " + QByteArray::number(from) + ' ' + QByteArray::number(count) + '\n');
    m_removals += count;
}

void CheckedJournal::NoteState(const QByteArray& state) {
    if (!state.isEmpty())
        note("S " + state.toBase64() + '\n');
}

void CheckedJournal::CompactIfWorth() {
    if (m_ok && m_removals > 2 * qsizetype(m_entries.size()) + 1000)
        Rewrite();
}

bool CheckedJournal::Rewrite() {
    m_file.close();
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QByteArray contents;
    if (State) {
        const QByteArray state = State();
        if (!state.isEmpty())
            contents += "S " + state.toBase64() + '\n';
    }
    for (const QByteArray& entry : m_entries)
        contents += "A " + entry.toBase64() + '\n';
    // A journal that cannot be rewritten (a full disk) stays as it was: it still holds every
    // entry, with the removals noted after them.
    const QString failure = FileReplacement::replace(m_path, contents);
    if (!failure.isEmpty()) {
        if (m_ok && m_log)
            m_log(failure, LogSeverity::Error);
        m_ok = false;
        m_sinceFailure.start();
        return false;
    }
    m_removals = 0;
    return true;
}

void CheckedJournal::Retry() {
    if (m_ok || (m_sinceFailure.isValid() && m_sinceFailure.elapsed() < m_retryMs))
        return;
    if (!Rewrite())
        return;
    m_ok = true;
    if (m_log)
        m_log(QStringLiteral("The ") + m_noun + QStringLiteral(" journal ") + m_path +
                  QStringLiteral(" is written again; it holds the %1 queued entries")
                      .arg(m_entries.size()),
              LogSeverity::Info);
}
