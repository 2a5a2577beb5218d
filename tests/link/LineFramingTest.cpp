#include <gtest/gtest.h>

#include "LineFraming.h"
#include "QtPrinters.h"

namespace {
const QString kEot = QString(QChar(4));
}

TEST(LineFraming, LinesOfAMessageAndItsEndLine) {
    LineFraming framing;
    QStringList lines;
    framing.append("H|one\rP|two\r\x04", lines);
    EXPECT_EQ(lines, (QStringList{"H|one", "P|two", kEot}));
    EXPECT_TRUE(framing.accumulator().isEmpty());
}

TEST(LineFraming, AnUnendedLastLineJoinsTheNextMessage) {
    LineFraming framing;
    QStringList lines;
    framing.append("H|one\rP|tw\x04", lines);
    EXPECT_EQ(lines, (QStringList{"H|one", kEot}));
    EXPECT_EQ(framing.accumulator(), QByteArray("P|tw"));
    framing.append("o\rL|1\r\x04", lines);
    EXPECT_EQ(lines, (QStringList{"H|one", kEot, "P|two", "L|1", kEot}));
}

TEST(LineFraming, CrLfLineEndsAndSplitChunks) {
    LineFraming framing;
    QStringList lines;
    framing.append("H|a\r\nR|", lines);
    EXPECT_TRUE(lines.isEmpty()) << "nothing before the end of the message";
    framing.append("b\r\n\x04"
                   "H|c\r\x04",
                   lines);
    EXPECT_EQ(lines, (QStringList{"H|a", "R|b", kEot, "H|c", kEot}));
}

TEST(LineFraming, EightBitCharactersAreWindows1252) {
    LineFraming framing;
    QStringList lines;
    framing.append("P|\xC5sa \xB5mol\r\x04", lines);
    EXPECT_EQ(lines.first(), QStringLiteral("P|Åsa µmol"));
}

TEST(LineFraming, AccumulatorStaysWithinItsLimit) {
    LineFraming framing(1000);
    QStringList lines;
    EXPECT_EQ(framing.append(QByteArray(900, 'x'), lines), 0);
    EXPECT_GT(framing.append(QByteArray(900, 'y'), lines), 0);
    EXPECT_LE(framing.accumulator().size(), 1000);
    framing.append("\rH|next\r\x04", lines);
    EXPECT_EQ(lines.mid(lines.size() - 2), (QStringList{"H|next", kEot}));
}
