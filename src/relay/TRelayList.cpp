#include "TRelayList.h"

#include <QFile>

void TRelayList::Add(const QByteArray& text) {
    if (text.size() == 1 && text.at(0) == kEnq) {
        m_pendingText.clear();
        m_sequence = 1;
        m_frameNumber = 1;
        append(text);
        return;
    }
    if (text.size() == 1 && text.at(0) == kEot) {
        // The pending text stays; the next message start empties it.
        append(closeFrame(m_pendingText, true));
        append(text);
        return;
    }
    const QByteArray record = renumber(text);
    if (m_pendingText.size() + record.size() <= kMaxFrameText) {
        m_pendingText += record;
        return;
    }
    append(closeFrame(m_pendingText, false));
    m_pendingText = record;
}

QByteArray TRelayList::renumber(const QByteArray& record) {
    const char type = record.isEmpty() ? char(0) : record.at(0);
    if (type != m_lastRecordType)
        m_sequence = 1;
    m_lastRecordType = type;
    QByteArray result;
    switch (type) {
    case 'H':
    case 'L':
        result = record;
        break;
    case 'O':
    case 'P':
    case 'R':
        result = record.left(2) + QByteArray::number(m_sequence) + record.mid(2, kMaxRecordTail);
        break;
    default:
        break;
    }
    ++m_sequence;
    return result;
}

QByteArray TRelayList::Checksum(const QByteArray& body) {
    unsigned sum = 0;
    for (const char c : body)
        sum += quint8(c);
    return QByteArray::number(sum % 256, 16).toUpper().rightJustified(2, '0');
}

QByteArray TRelayList::closeFrame(const QByteArray& text, bool last) {
    QByteArray body = QByteArray::number(m_frameNumber) + text + (last ? kEtx : kEtb);
    QByteArray frame = kStx + body;
    if (IncludeChecksum)
        frame += Checksum(body);
    frame += "\r\n";
    m_frameNumber = m_frameNumber + 1 > 7 ? 0 : m_frameNumber + 1;
    return frame;
}

void TRelayList::append(QByteArray entry) {
    m_entries.push_back(std::move(entry));
    appended(m_entries.back());
}

void TRelayList::appended(const QByteArray&) {}

void TRelayList::DeleteFirst() {
    if (!m_entries.empty())
        m_entries.pop_front();
}

void TRelayList::Clear() {
    m_entries.clear();
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
