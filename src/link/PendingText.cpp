#include "PendingText.h"

namespace {
constexpr qsizetype kEndMarkerLength = 8;
constexpr qsizetype kCompactAbove = 1 << 20;

// Whether the text begins with the marker (it holds at least the marker's length).
bool markerAt(const QChar* text, QLatin1String marker) {
    for (qsizetype k = 0; k < marker.size(); ++k) {
        if (text[k].unicode() != char16_t(static_cast<unsigned char>(marker[k].toLatin1())))
            return false;
    }
    return true;
}
} // namespace

void PendingText::append(QStringView text) {
    m_buffer.append(text);
    scan();
}

void PendingText::clear() {
    m_buffer.clear();
    m_start = 0;
    for (MarkerIndex* index : {&m_starts, &m_ends})
        index->positions.clear();
    m_scannedUntil = 0;
}

void PendingText::scan() {
    // Both markers begin with '<': every '<' that may begin a marker not yet indexed is looked
    // at once. A marker that began before the text arrived but was not complete then ends in
    // the new text.
    const QStringView buffer(m_buffer);
    const qsizetype size = buffer.size();
    qsizetype from = std::max(m_start, m_scannedUntil - (kEndMarkerLength - 1));
    while (true) {
        const qsizetype at = buffer.indexOf(u'<', from);
        if (at < 0)
            break;
        // The second character tells which marker it may be.
        if (at + 1 < size) {
            const char16_t second = buffer[at + 1].unicode();
            MarkerIndex* index = second == u'?' ? &m_starts : second == u'/' ? &m_ends : nullptr;
            if (index != nullptr) {
                const qsizetype end = at + index->marker.size();
                if (end > m_scannedUntil && end <= size &&
                    markerAt(buffer.data() + at, index->marker))
                    index->positions.push_back(at);
            }
        }
        from = at + 1;
    }
    m_scannedUntil = size;
}

void PendingText::removeFront(qsizetype count) {
    m_start += count;
    for (MarkerIndex* index : {&m_starts, &m_ends}) {
        while (!index->positions.empty() && index->positions.front() < m_start)
            index->positions.pop_front();
    }
    compact();
}

void PendingText::compact() {
    if (m_start == m_buffer.size()) {
        clear();
        return;
    }
    if (m_start < kCompactAbove || m_start < m_buffer.size() / 2)
        return;
    m_buffer.remove(0, m_start);
    for (MarkerIndex* index : {&m_starts, &m_ends}) {
        for (qsizetype& position : index->positions)
            position -= m_start;
    }
    m_scannedUntil -= m_start;
    m_start = 0;
}

bool PendingText::HasCompleteMessage() {
    if (m_ends.positions.empty())
        return false;
    const qsizetype end = m_ends.positions.front();
    if (m_starts.positions.empty() || m_starts.positions.front() > end) {
        removeFront(end + kEndMarkerLength - m_start);
        return false;
    }
    // An unfinished message followed by a new start marker is dropped: the message that ends
    // at the end marker begins at the last start marker before it.
    qsizetype begin = m_starts.positions.front();
    for (const qsizetype position : m_starts.positions) {
        if (position > end)
            break;
        begin = position;
    }
    if (begin > m_start)
        removeFront(begin - m_start);
    return true;
}

bool PendingText::FindCompleteMessage() {
    // Each answer of no either found no end marker or removed the first one.
    while (!m_ends.positions.empty()) {
        if (HasCompleteMessage())
            return true;
    }
    return false;
}

QString PendingText::CutMessage() {
    if (m_starts.positions.empty())
        return {};
    removeFront(m_starts.positions.front() - m_start);
    if (m_ends.positions.empty())
        return {};
    const qsizetype length = m_ends.positions.front() + kEndMarkerLength - m_start;
    const QString message = m_buffer.mid(m_start, length);
    removeFront(length);
    return message;
}

qsizetype PendingText::enforceLimit(qsizetype limit) {
    const qsizetype before = size();
    if (before <= limit)
        return 0;
    const qsizetype keepLast = qsizetype(qstrlen(kStartMarker)) - 1; // a start marker in arrival
    if (!m_starts.positions.empty() && m_buffer.size() - m_starts.positions.back() <= limit)
        removeFront(m_starts.positions.back() - m_start);
    else
        removeFront(size() - std::min(size(), keepLast));
    return before - size();
}
