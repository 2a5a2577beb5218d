#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "QtPrinters.h"
#include "Utf16StreamDecoder.h"
#include "Windows1252.h"

namespace {

QByteArray utf16(const QString& text) {
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

} // namespace

TEST(Utf16StreamDecoder, CharactersSplitAtAnyByteSurvive) {
    const QString text = QStringLiteral("<Name>Åsa Öberg</Name><Unit>µmol/L</Unit> €");
    const QByteArray bytes = utf16(text);
    for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
        Utf16StreamDecoder decoder;
        QString decoded = decoder.decode(bytes.left(cut));
        decoded += decoder.decode(bytes.mid(cut));
        ASSERT_EQ(decoded, text) << "cut at byte " << cut;
        EXPECT_FALSE(decoder.hasCarriedByte());
    }
}

TEST(Utf16StreamDecoder, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    Utf16StreamDecoder decoder;
    EXPECT_EQ(decoder.decode(utf16(QStringLiteral("Ω 😀 ok"))), QStringLiteral("? ? ok"));
}

TEST(Utf16StreamDecoder, ZeroUnitsAreDroppedAndWhatFollowsIsKept) {
    Utf16StreamDecoder decoder;
    const QByteArray bytes =
        utf16(QStringLiteral("<a/>")) + QByteArray(2, '\0') + utf16(QStringLiteral("<b/>"));
    EXPECT_EQ(decoder.decode(bytes), QStringLiteral("<a/><b/>"));
}

namespace {

// The decoding rules the plain way, one code unit at a time: the reference the block decoder
// must agree with.
class ReferenceDecoder {
public:
    QString decode(const QByteArray& bytes) {
        QString text;
        for (const char byte : bytes) {
            if (!m_hasCarry) {
                m_carry = static_cast<unsigned char>(byte);
                m_hasCarry = true;
                continue;
            }
            m_hasCarry = false;
            const char16_t unit = char16_t(m_carry | (static_cast<unsigned char>(byte) << 8));
            if (unit != 0)
                text.append(QChar(unit));
        }
        Windows1252::roundTrip(text);
        return text;
    }

private:
    bool m_hasCarry = false;
    unsigned char m_carry = 0;
};

} // namespace

TEST(Utf16StreamDecoder, AgreesWithUnitByUnitDecodingOnRandomStreams) {
    // Units that pass unchanged, zeros, the code page's high controls, characters it lacks and
    // surrogate halves, mixed and cut at random byte positions.
    const std::vector<char16_t> units = {u'<', u'a', u'?',   0x00,  0xC5,   0xFF,   0x80,  0x81,
                                         0x9F, 0xA0, 0x20AC, 0x3A9, 0xD83D, 0xDE00, 0x3C00};
    std::mt19937 random(20261209);
    for (int round = 0; round < 400; ++round) {
        QByteArray stream;
        const int length = int(random() % 200);
        for (int i = 0; i < length; ++i) {
            const char16_t unit = units[random() % units.size()];
            stream.append(char(unit & 0xFF));
            stream.append(char(unit >> 8));
        }
        if (random() % 2 == 1)
            stream.append(char(random() % 256)); // an odd byte left at the end
        Utf16StreamDecoder decoder;
        ReferenceDecoder reference;
        for (qsizetype at = 0; at < stream.size();) {
            const qsizetype piece = 1 + qsizetype(random() % 40);
            const QByteArray chunk = stream.mid(at, piece);
            at += piece;
            ASSERT_EQ(decoder.decode(chunk), reference.decode(chunk))
                << "round " << round << ", bytes up to " << at;
        }
        EXPECT_EQ(decoder.hasCarriedByte(), stream.size() % 2 == 1) << "round " << round;
    }
}
