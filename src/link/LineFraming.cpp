#include "LineFraming.h"

#include <algorithm>

#include "Windows1252.h"

namespace {

bool lineEnd(char c) {
    return c == '\r' || c == '\n';
}

bool onlyLineEnds(const QByteArray& text) {
    return std::all_of(text.begin(), text.end(), lineEnd);
}

} // namespace

QByteArray LineFraming::takeLines(const QByteArray& message, QStringList& lines) {
    qsizetype at = 0;
    while (at < message.size()) {
        while (at < message.size() && lineEnd(message.at(at)))
            ++at;
        if (at >= message.size())
            break;
        qsizetype end = at;
        while (end < message.size() && !lineEnd(message.at(end)))
            ++end;
        if (end >= message.size())
            return message.mid(at); // an unended line goes back to the accumulator
        lines << Windows1252::decode(message.mid(at, end - at));
        at = end + 1;
    }
    return {};
}

LineFraming::Cut LineFraming::append(const QByteArray& chunk) {
    Cut cut;
    const qsizetype lastEot = chunk.lastIndexOf(kEot);
    if (lastEot >= 0) {
        cut.messages = m_received + chunk.left(lastEot + 1);
        m_received = chunk.mid(lastEot + 1);
    } else {
        m_received += chunk;
    }
    m_accumulator += chunk;
    QByteArray carry;
    qsizetype at = 0;
    while (true) {
        const qsizetype eot = m_accumulator.indexOf(kEot, at);
        if (eot < 0)
            break;
        carry = takeLines(carry + m_accumulator.mid(at, eot - at), cut.lines);
        cut.lines << QString(QChar(kEot));
        at = eot + 1;
    }
    if (at > 0)
        m_accumulator = carry + m_accumulator.mid(at);
    // Line ends after a message's EOT are no text of the next one.
    if (onlyLineEnds(m_accumulator))
        m_accumulator.clear();
    if (onlyLineEnds(m_received))
        m_received.clear();
    if (m_accumulator.size() <= m_limit && m_received.size() <= m_limit)
        return cut;
    // A peer that never ends its message: keep the newest text, within half the limit.
    const qsizetype keep = m_limit / 2;
    cut.dropped = std::max<qsizetype>(m_accumulator.size() - keep, 0);
    m_accumulator.remove(0, cut.dropped);
    if (m_received.size() > keep)
        m_received.remove(0, m_received.size() - keep);
    return cut;
}
