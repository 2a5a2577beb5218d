#pragma once

#include <cstring>
#include <optional>

#include <QByteArray>
#include <QString>
#include <QtEndian>

// Reads little-endian fields from a bounded block of bytes; every read is checked against the
// block's end, so a damaged length can never reach beyond it.
class ByteCursor {
public:
    ByteCursor(const char* data, qint64 size) : m_data(data), m_size(size) {}

    qint64 position() const { return m_pos; }
    qint64 remaining() const { return m_size - m_pos; }
    bool ok() const { return m_ok; }

    template <typename T> T read() {
        T value{};
        if (!take(sizeof(T)))
            return value;
        std::memcpy(&value, m_data + m_pos - qint64(sizeof(T)), sizeof(T));
        return qFromLittleEndian(value);
    }

    // A string payload: int32 length field, int32 character size, the characters. The length
    // counts the 4 bytes of the character size when lengthIncludesCharSize is set.
    QString readString(bool lengthIncludesCharSize);

private:
    bool take(qint64 count) {
        if (!m_ok || count < 0 || count > remaining()) {
            m_ok = false;
            return false;
        }
        m_pos += count;
        return true;
    }

    const char* m_data;
    qint64 m_size;
    qint64 m_pos = 0;
    bool m_ok = true;
};

// Decodes the characters of a string payload: 8-bit Windows-1252 for character size 1,
// UTF-16 units reduced to the 8-bit code page for character size 2.
QString decodeStreamCharacters(const char* bytes, qint64 count, qint32 charSize);
