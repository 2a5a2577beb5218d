#include <gtest/gtest.h>

#include "QtPrinters.h"
#include "Utf16StreamDecoder.h"

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
