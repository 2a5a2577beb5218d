#include "TRelayList.h"

#include <QDateTime>
#include <QFile>

namespace {

constexpr char kCr = '\r';

QString visible(const QByteArray& record) {
    QString text;
    for (const char c : record) {
        if (quint8(c) < 0x20)
            text += QStringLiteral("<%1>").arg(quint8(c), 2, 16, QChar(u'0'));
        else
            text += QChar(quint8(c));
    }
    return text;
}

} // namespace

void TRelayList::Add(const QByteArray& text) {
    if (text.size() == 1 && text.at(0) == kEnq) {
        AbandonMessage();
        m_building = true;
        m_message.push_back(text);
        return;
    }
    if (text.size() == 1 && text.at(0) == kEot) {
        if (!m_building)
            return; // an end without a start
        m_building = false;
        if (m_pendingText.isEmpty()) {
            AbandonMessage(); // no record: nothing to send
            return;
        }
        closeFrame(m_pendingText, true);
        m_message.push_back(text);
        const qsizetype first = Count();
        for (QByteArray& entry : m_message)
            m_entries.push_back(std::move(entry));
        m_queuedAt.push_back(QDateTime::currentMSecsSinceEpoch());
        AbandonMessage();
        appended(first);
        return;
    }
    if (!m_building)
        return; // a record outside a message has no transfer to join
    const QByteArray cleaned = clean(text);
    if (cleaned.isEmpty())
        return;
    const QByteArray record = renumber(cleaned);
    if (record.isEmpty()) {
        if (Log)
            Log(QStringLiteral("Relay record left out, it is not a record: ") + visible(text));
        return;
    }
    addRecord(record);
}

void TRelayList::AbandonMessage() {
    m_building = false;
    m_message.clear();
    m_pendingText.clear();
    m_sequence = 1;
    m_frameNumber = 1;
}

QByteArray TRelayList::clean(const QByteArray& text) {
    QByteArray record = text;
    while (!record.isEmpty() && (record.endsWith(kCr) || record.endsWith('\n')))
        record.chop(1);
    qsizetype removed = 0;
    QByteArray cleaned;
    cleaned.reserve(record.size());
    for (const char c : record) {
        if (quint8(c) < 0x20 || c == '\x7F')
            ++removed;
        else
            cleaned += c;
    }
    if (removed > 0 && Log)
        Log(QStringLiteral("%1 control characters removed from the relay record ").arg(removed) +
            visible(record));
    return cleaned;
}

QByteArray TRelayList::renumber(const QByteArray& record) {
    const char type = record.at(0);
    const bool known = type == 'H' || type == 'L' || type == 'O' || type == 'P' || type == 'R';
    if (!known || (type != 'H' && type != 'L' && record.size() < 2))
        return {}; // an unknown type, or a type letter alone, is no record
    if (type != m_lastRecordType)
        m_sequence = 1;
    m_lastRecordType = type;
    QByteArray result;
    switch (type) {
    case 'H':
    case 'L':
        result = record + kCr;
        break;
    case 'O':
    case 'P':
    case 'R': {
        // The sequence field (the second) is replaced; what follows it stays.
        const char delimiter = record.at(1);
        const qsizetype next = record.indexOf(delimiter, 2);
        const QByteArray tail = next < 0 ? QByteArray() : record.mid(next);
        result = record.left(2) + QByteArray::number(m_sequence) + tail.left(kMaxRecordTail) + kCr;
        break;
    }
    default:
        break;
    }
    ++m_sequence;
    return result;
}

void TRelayList::addRecord(const QByteArray& record) {
    if (m_pendingText.size() + record.size() <= kMaxFrameText) {
        m_pendingText += record;
        return;
    }
    if (!m_pendingText.isEmpty())
        closeFrame(m_pendingText, false);
    m_pendingText = record;
    // A record longer than a frame continues in the next ones.
    while (m_pendingText.size() > kMaxFrameText) {
        closeFrame(m_pendingText.left(kMaxFrameText), false);
        m_pendingText.remove(0, kMaxFrameText);
    }
}

QByteArray TRelayList::Checksum(const QByteArray& body) {
    unsigned sum = 0;
    for (const char c : body)
        sum += quint8(c);
    return QByteArray::number(sum % 256, 16).toUpper().rightJustified(2, '0');
}

void TRelayList::closeFrame(const QByteArray& text, bool last) {
    QByteArray body = QByteArray::number(m_frameNumber) + text + (last ? kEtx : kEtb);
    QByteArray frame = kStx + body;
    if (IncludeChecksum)
        frame += Checksum(body);
    frame += "\r\n";
    m_frameNumber = m_frameNumber + 1 > 7 ? 0 : m_frameNumber + 1;
    m_message.push_back(std::move(frame));
}

void TRelayList::appended(qsizetype) {}

void TRelayList::DeleteFirst() {
    if (m_entries.empty())
        return;
    if (IsEot(m_entries.front()) && !m_queuedAt.empty())
        m_queuedAt.pop_front();
    m_entries.pop_front();
}

void TRelayList::DeleteFront(qsizetype count) {
    for (qsizetype i = 0; i < count && !m_entries.empty(); ++i)
        TRelayList::DeleteFirst();
}

void TRelayList::Clear() {
    m_entries.clear();
    m_queuedAt.clear();
}

bool TRelayList::SaveToFile(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (const QByteArray& entry : m_entries) {
        if (file.write(entry + "\r\n") < 0)
            return false;
    }
    return file.flush();
}
