#include "LineFraming.h"

#include "Windows1252.h"

QByteArray LineFraming::takeLines(QByteArray message, QStringList& theLines) {
    qsizetype at = 0;
    while (at < message.size()) {
        while (at < message.size() && message.at(at) == '\r')
            ++at;
        while (at < message.size() && message.at(at) == '\n')
            ++at;
        if (at >= message.size())
            break;
        const qsizetype cr = message.indexOf('\r', at);
        if (cr < 0)
            return message.mid(at); // an unended line goes back to the accumulator
        theLines << Windows1252::decode(message.mid(at, cr - at));
        at = cr + 1;
    }
    return {};
}

qsizetype LineFraming::append(const QByteArray& chunk, QStringList& theLines) {
    m_accumulator += chunk;
    QByteArray carry;
    qsizetype at = 0;
    while (true) {
        const qsizetype eot = m_accumulator.indexOf(kEot, at);
        if (eot < 0)
            break;
        carry = takeLines(carry + m_accumulator.mid(at, eot - at), theLines);
        theLines << QString(QChar(kEot));
        at = eot + 1;
    }
    if (at > 0)
        m_accumulator = carry + m_accumulator.mid(at);
    if (m_accumulator.size() <= m_limit)
        return 0;
    // A peer that never ends its message: keep the newest text, within half the limit.
    const qsizetype dropped = m_accumulator.size() - m_limit / 2;
    m_accumulator.remove(0, dropped);
    return dropped;
}
