#include "Utf16StreamDecoder.h"

#include <cstring>

#include <QtEndian>

#include "Windows1252.h"

namespace {

// Whether any unit is 0 or one the trip through the code page changes (0x80 to 0x9F, above
// 0xFF). Without branches, so that the compiler can look at many units at a time.
bool anyToChange(const char16_t* units, qsizetype count) {
    unsigned changed = 0;
    for (qsizetype k = 0; k < count; ++k) {
        const char16_t unit = units[k];
        changed |= unsigned(char16_t(unit - 1) >= 0xFF) | unsigned(char16_t(unit - 0x80) < 0x20);
    }
    return changed != 0;
}

} // namespace

QString Utf16StreamDecoder::decode(const QByteArray& bytes) {
    const char* data = bytes.constData();
    const qsizetype available = bytes.size();
    const qsizetype first = m_hasCarry && available > 0 ? 1 : 0;
    const qsizetype units = first + (available - first) / 2;
    QString text(units, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    if (first == 1) {
        out[0] = char16_t(static_cast<unsigned char>(m_carry) |
                          (static_cast<unsigned char>(data[0]) << 8));
        m_hasCarry = false;
    }
    // The bytes are little-endian code units: copied as a block, then looked at once.
    const qsizetype whole = units - first;
    if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
        if (whole > 0)
            std::memcpy(out + first, data + first, std::size_t(whole) * 2);
    } else {
        for (qsizetype k = 0; k < whole; ++k)
            out[first + k] = qFromLittleEndian<char16_t>(data + first + 2 * k);
    }
    const qsizetype end = first + 2 * whole;
    if (end < available) {
        m_carry = data[end];
        m_hasCarry = true;
    }

    if (!anyToChange(out, units))
        return text;
    // Zero units are dropped; the rest takes the trip through the code page.
    qsizetype written = 0;
    for (qsizetype k = 0; k < units; ++k) {
        if (out[k] != 0)
            out[written++] = out[k];
    }
    text.truncate(written);
    Windows1252::roundTrip(text);
    return text;
}
