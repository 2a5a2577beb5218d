#pragma once

#include <QByteArray>
#include <QtEndian>

// Builds byte layouts by hand, little-endian, for comparing with what the writers produce.
class ByteBuilder {
public:
    ByteBuilder& i32(qint32 value) { return append(value); }
    ByteBuilder& i16(qint16 value) { return append(value); }
    ByteBuilder& f64(double value) { return append(value); }
    ByteBuilder& u8(quint8 value) {
        m_bytes.append(char(value));
        return *this;
    }
    ByteBuilder& raw(const QByteArray& bytes) {
        m_bytes += bytes;
        return *this;
    }
    // A string payload: int32 (length + 4), int32 1, the characters.
    ByteBuilder& str(const QByteArray& characters) {
        return i32(qint32(characters.size()) + 4).i32(1).raw(characters);
    }
    const QByteArray& bytes() const { return m_bytes; }
    operator QByteArray() const { return m_bytes; }

private:
    template <typename T> ByteBuilder& append(T value) {
        const T little = qToLittleEndian(value);
        m_bytes.append(reinterpret_cast<const char*>(&little), sizeof little);
        return *this;
    }
    QByteArray m_bytes;
};

inline quint8 byteSum(const QByteArray& bytes) {
    quint8 sum = 0;
    for (const char byte : bytes)
        sum = quint8(sum + quint8(byte));
    return sum;
}
