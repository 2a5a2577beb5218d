#pragma once

#include <QtGlobal>

// What the object stream writer and reader share: the format version, checksum mode and the
// running checksum (the sum, modulo 256, of the bytes written or read at the current level).
class TZelReadWriter {
public:
    static constexpr qint32 kCurrentMajor = 2;
    static constexpr qint32 kCurrentMinor = 0;

    qint32 VersionMajor() const { return m_versionMajor; }
    qint32 VersionMinor() const { return m_versionMinor; }
    bool ChecksumMode() const { return m_checksumMode; }
    void SetChecksumMode(bool on) { m_checksumMode = on; }
    quint8 Checksum() const { return m_checksum; }

    // Strings count their length including the 4 bytes of the character size from 1.2 on.
    bool StringLengthIncludesCharSize() const {
        return m_versionMajor > 1 || (m_versionMajor == 1 && m_versionMinor >= 2);
    }
    // Version 1.0 stores every record size in 8 bytes.
    bool WideSizes() const { return m_versionMajor == 1 && m_versionMinor == 0; }

protected:
    void addToChecksum(const char* bytes, qint64 count) {
        quint8 sum = m_checksum;
        for (qint64 i = 0; i < count; ++i)
            sum = quint8(sum + quint8(bytes[i]));
        m_checksum = sum;
    }
    static quint8 byteSum(const char* bytes, qint64 count) {
        quint8 sum = 0;
        for (qint64 i = 0; i < count; ++i)
            sum = quint8(sum + quint8(bytes[i]));
        return sum;
    }

    qint32 m_versionMajor = kCurrentMajor;
    qint32 m_versionMinor = kCurrentMinor;
    bool m_checksumMode = false;
    quint8 m_checksum = 0;
};
