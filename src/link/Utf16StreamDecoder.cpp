#include "Utf16StreamDecoder.h"

#include "Windows1252.h"

QString Utf16StreamDecoder::decode(const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype available = bytes.size();
    QString text;
    text.reserve((available + 1) / 2);
    auto put = [&text](unsigned char low, unsigned char high) {
        const char16_t unit = char16_t(low | (high << 8));
        if (unit != 0)
            text.append(QChar(unit));
    };
    qsizetype i = 0;
    if (m_hasCarry && available > 0) {
        put(static_cast<unsigned char>(m_carry), static_cast<unsigned char>(data[0]));
        m_hasCarry = false;
        i = 1;
    }
    for (; i + 1 < available; i += 2)
        put(static_cast<unsigned char>(data[i]), static_cast<unsigned char>(data[i + 1]));
    if (i < available) {
        m_carry = data[i];
        m_hasCarry = true;
    }
    Windows1252::roundTrip(text);
    return text;
}
