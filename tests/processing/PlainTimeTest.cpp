#include <gtest/gtest.h>

#include <ctime>

#include "PlainTime.h"
#include "QtPrinters.h"
#include "ResultProcessor.h"
#include "XmlErrors.h"

namespace {

// Central European time with its summer time, spelled out so that no time-zone database is
// needed: summer time from 2027-03-28 02:00 to 2027-10-31 03:00.
class PlainTimeText : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        tzset();
    }
    void TearDown() override {
        qunsetenv("TZ");
        tzset();
    }
};

} // namespace

// The plain form reads as the general reading does, at the edges of summer time too; every
// other form is left to the general reading.
TEST_F(PlainTimeText, ReadsAsTheGeneralReading) {
    const struct {
        const char* text;
        bool plainForm;
    } cases[] = {
        {"2027-03-28T01:59:59", true},  {"2027-03-28T02:00:00", true},
        {"2027-03-28T02:30:00", true},  {"2027-03-28T03:00:00", true},
        {"2027-10-31T01:59:59", true},  {"2027-10-31T02:00:00", true},
        {"2027-10-31T02:30:00", true},  {"2027-10-31T02:59:59", true},
        {"2027-10-31T03:00:00", true},  {"2028-02-29T12:00:00", true},
        {"2027-02-29T12:00:00", true},  {"2027-12-31T24:00:00", true},
        {"2027-12-31T23:60:00", true},  {"2027-12-31T23:59:60", true},
        {"0000-01-01T00:00:00", true},  {"9999-12-31T23:59:59", true},
        {"1899-12-30T00:00:00", true},  {" 2027-01-01T00:00:00", false},
        {"2027-01-01T00:00", false},    {"2027-1-01T00:00:00", false},
        {"2027-01-01 00:00:00", false}, {"2027-01-01T00:00:00Z", false},
        {"2027-01-01T0a:00:00", false}, {"", false},
    };
    for (const auto& c : cases) {
        const QDateTime plain = LocalTimeFromPlainText(c.text);
        if (!c.plainForm) {
            EXPECT_FALSE(plain.isValid()) << c.text;
            continue;
        }
        QDateTime general;
        try {
            general = TimeFromXmlText(QString::fromLatin1(c.text));
        } catch (const EConvertError&) {
        }
        EXPECT_EQ(plain.isValid(), general.isValid()) << c.text;
        EXPECT_EQ(plain, general) << c.text;
        EXPECT_EQ(plain.date(), general.date()) << c.text;
        EXPECT_EQ(plain.time(), general.time()) << c.text;
        if (plain.isValid() && general.isValid()) {
            EXPECT_EQ(plain.toMSecsSinceEpoch(), general.toMSecsSinceEpoch()) << c.text;
            EXPECT_EQ(plain.offsetFromUtc(), general.offsetFromUtc()) << c.text;
        }
        const QDateTime again = LocalTimeFromPlainText(c.text);
        EXPECT_EQ(again, plain) << "read again: " << c.text;
        EXPECT_EQ(again.isValid(), plain.isValid()) << "read again: " << c.text;
    }
    EXPECT_EQ(LocalTimeFromPlainText("2027-10-31T01:59:59").offsetFromUtc(), 7200);
    EXPECT_EQ(LocalTimeFromPlainText("2027-10-31T03:00:00").offsetFromUtc(), 3600);
}
