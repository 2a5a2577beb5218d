#include "ByteCursor.h"

#include "Windows1252.h"

QString decodeStreamCharacters(const char* bytes, qint64 count, qint32 charSize) {
    if (charSize == 1)
        return Windows1252::decode(QByteArray(bytes, count));
    QString wide(int(count / 2), Qt::Uninitialized);
    for (qint64 i = 0; i < count / 2; ++i)
        wide[int(i)] = QChar(qFromLittleEndian<quint16>(bytes + 2 * i));
    return Windows1252::decode(Windows1252::encode(wide));
}

QString ByteCursor::readString(bool lengthIncludesCharSize) {
    const qint32 length = read<qint32>();
    const qint32 charSize = read<qint32>();
    if (!m_ok || (charSize != 1 && charSize != 2))
        return {};
    const qint64 count = lengthIncludesCharSize ? qint64(length) - 4 : qint64(length);
    const qint64 start = m_pos;
    if (!take(count))
        return {};
    return decodeStreamCharacters(m_data + start, count, charSize);
}
