#include <gtest/gtest.h>

#include "LineFraming.h"
#include "QtPrinters.h"

namespace {

const QString kEot = QString(QChar(4));

// The framing of one source, gathering the lines and bytes of its complete messages.
struct Source {
    explicit Source(qsizetype limit = LineFraming::kDefaultLimit) : framing(limit) {}
    qsizetype append(const QByteArray& chunk) {
        LineFraming::Cut cut = framing.append(chunk);
        lines << cut.lines;
        messages += cut.messages;
        return cut.dropped;
    }
    LineFraming framing;
    QStringList lines;
    QByteArray messages;
};

} // namespace

TEST(LineFraming, LinesOfAMessageAndItsEndLine) {
    Source source;
    source.append("H|one\rP|two\r\x04");
    EXPECT_EQ(source.lines, (QStringList{"H|one", "P|two", kEot}));
    EXPECT_TRUE(source.framing.accumulator().isEmpty());
}

TEST(LineFraming, AnUnendedLastLineJoinsTheNextMessage) {
    Source source;
    source.append("H|one\rP|tw\x04");
    EXPECT_EQ(source.lines, (QStringList{"H|one", kEot}));
    EXPECT_EQ(source.framing.accumulator(), QByteArray("P|tw"));
    source.append("o\rL|1\r\x04");
    EXPECT_EQ(source.lines, (QStringList{"H|one", kEot, "P|two", "L|1", kEot}));
}

TEST(LineFraming, CrLfLineEndsAndSplitChunks) {
    Source source;
    source.append("H|a\r\nR|");
    EXPECT_TRUE(source.lines.isEmpty()) << "nothing before the end of the message";
    source.append("b\r\n\x04"
                  "H|c\r\x04");
    EXPECT_EQ(source.lines, (QStringList{"H|a", "R|b", kEot, "H|c", kEot}));
}

TEST(LineFraming, LfLineEndsAndTheBytesOfCompleteMessages) {
    // Line ends of either kind; what passes through is each complete message as received, so
    // two sources' text is never interleaved.
    Source source;
    source.append("H|a\nP|b\n\x04H|c\r\nR|");
    EXPECT_EQ(source.lines, (QStringList{"H|a", "P|b", kEot}));
    EXPECT_EQ(source.messages, QByteArray("H|a\nP|b\n\x04"));
    EXPECT_EQ(source.framing.unfinished(), 7);
    source.append("d\r\x04");
    EXPECT_EQ(source.lines, (QStringList{"H|a", "P|b", kEot, "H|c", "R|d", kEot}));
    EXPECT_EQ(source.messages, QByteArray("H|a\nP|b\n\x04H|c\r\nR|d\r\x04"));
    EXPECT_EQ(source.framing.unfinished(), 0);
}

TEST(LineFraming, EightBitCharactersAreWindows1252) {
    Source source;
    source.append("P|\xC5sa \xB5mol\r\x04");
    EXPECT_EQ(source.lines.first(), QStringLiteral("P|Åsa µmol"));
}

TEST(LineFraming, AccumulatorStaysWithinItsLimit) {
    Source source(1000);
    EXPECT_EQ(source.append(QByteArray(900, 'x')), 0);
    EXPECT_GT(source.append(QByteArray(900, 'y')), 0);
    EXPECT_LE(source.framing.accumulator().size(), 1000);
    EXPECT_LE(source.framing.unfinished(), 1000);
    source.append("\rH|next\r\x04");
    EXPECT_EQ(source.lines.mid(source.lines.size() - 2), (QStringList{"H|next", kEot}));
}
