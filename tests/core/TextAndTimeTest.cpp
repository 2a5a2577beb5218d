#include <gtest/gtest.h>

#include "OleDateTime.h"
#include "Windows1252.h"

TEST(Windows1252, RoundTripsEveryDefinedCharacterAndReplacesTheRest) {
    QByteArray all;
    for (int byte = 1; byte < 256; ++byte)
        all.append(char(byte));
    EXPECT_EQ(Windows1252::encode(Windows1252::decode(all)), all);

    EXPECT_EQ(Windows1252::decode("\x80\x9F\xE5"), QStringLiteral("€Ÿå"));
    EXPECT_EQ(Windows1252::encode(QStringLiteral("µmol/L Ω 😀")), QByteArray("\xB5mol/L ? ?"))
        << "characters outside the code page become one '?' each, also outside the BMP";
}

TEST(OleDateTime, CountsDaysSince18991230) {
    EXPECT_DOUBLE_EQ(OleDateTime::fromDateTime(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0.0);
    EXPECT_DOUBLE_EQ(OleDateTime::fromDateTime(QDateTime(QDate(2000, 1, 1), QTime(12, 0))),
                     36526.5);
    EXPECT_DOUBLE_EQ(OleDateTime::fromDateTime(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);

    EXPECT_EQ(OleDateTime::toDateTime(36526.5), QDateTime(QDate(2000, 1, 1), QTime(12, 0)));
    EXPECT_EQ(OleDateTime::toDateTime(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    const QDateTime sample(QDate(2026, 12, 8), QTime(23, 59, 59, 999));
    EXPECT_EQ(OleDateTime::toDateTime(OleDateTime::fromDateTime(sample)), sample);
    EXPECT_FALSE(OleDateTime::toDateTime(std::nan("")).isValid());
}
