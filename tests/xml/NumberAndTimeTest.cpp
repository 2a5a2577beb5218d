#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <functional>
#include <string>

#include <QLocale>

#include "DecimalSeparator.h"
#include "DecimalText.h"
#include "EventTime.h"
#include "QtPrinters.h"
#include "XmlErrors.h"

namespace {

// Every test runs with a machine locale that writes decimal commas, to show it does not matter.
class NumberRules : public ::testing::Test {
protected:
    void SetUp() override {
        saved = QLocale();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
    void TearDown() override {
        QLocale::setDefault(saved);
        DecimalSeparator::set(DecimalSeparator::system());
    }
    QLocale saved;
};

} // namespace

TEST_F(NumberRules, LiveConcentrationNeedsADecimalPointAndNeverFails) {
    DecimalSeparator::set(u',');
    EXPECT_DOUBLE_EQ(DecimalText::readLiveConcentration(QStringLiteral("4.25")), 4.25);
    EXPECT_EQ(DecimalSeparator::current(), u'.') << "the reader switches to a point and stays";
    EXPECT_DOUBLE_EQ(DecimalText::readLiveConcentration(QStringLiteral("4,25")), 0.0);
    EXPECT_DOUBLE_EQ(DecimalText::readLiveConcentration(QStringLiteral("1,234.5")), 0.0);
    EXPECT_DOUBLE_EQ(DecimalText::readLiveConcentration(QString()), 0.0);
    EXPECT_DOUBLE_EQ(DecimalText::readLiveConcentration(QStringLiteral("abc")), 0.0);
    EXPECT_DOUBLE_EQ(DecimalText::readLiveConcentration(QStringLiteral(" -0.5 ")), -0.5);
}

TEST_F(NumberRules, DocumentConcentrationTakesCommaOrPoint) {
    for (const QChar separator : {QChar(u'.'), QChar(u',')}) {
        DecimalSeparator::set(separator);
        EXPECT_DOUBLE_EQ(DecimalText::readDocumentConcentration(QStringLiteral("4,25")), 4.25);
        EXPECT_DOUBLE_EQ(DecimalText::readDocumentConcentration(QStringLiteral("4.25")), 4.25);
        EXPECT_DOUBLE_EQ(DecimalText::readDocumentConcentration(QStringLiteral("5")), 5.0);
        EXPECT_THROW(DecimalText::readDocumentConcentration(QStringLiteral("1,234.5")),
                     EConvertError);
        EXPECT_THROW(DecimalText::readDocumentConcentration(QString()), EConvertError);
        EXPECT_THROW(DecimalText::readDocumentConcentration(QStringLiteral("abc")), EConvertError);
        EXPECT_THROW(DecimalText::readDocumentConcentration(QStringLiteral("inf")), EConvertError);
    }
    DecimalSeparator::set(u',');
    EXPECT_EQ(DecimalText::format(2.5), QStringLiteral("2,5"));
}

TEST(EventTime, ReadByCharacterPositions) {
    const QDateTime now(QDate(2026, 12, 8), QTime(9, 0));
    EXPECT_EQ(EventTimeFromText(QStringLiteral("2009-03-17T14:05:33"), now),
              QDateTime(QDate(2009, 3, 17), QTime(14, 5)))
        << "seconds are dropped";
    EXPECT_EQ(EventTimeFromText(QStringLiteral("2009-03-17T14:05"), now),
              QDateTime(QDate(2009, 3, 17), QTime(14, 5)));
    EXPECT_EQ(EventTimeFromText(QStringLiteral("2009/03/17 14.05"), now),
              QDateTime(QDate(2009, 3, 17), QTime(14, 5)))
        << "separators are not looked at";
    EXPECT_EQ(EventTimeFromText(QStringLiteral("2009-03-17T14"), now), now) << "no minutes";
    EXPECT_EQ(EventTimeFromText(QStringLiteral("2009-13-17T14:05"), now), now) << "no month 13";
    EXPECT_EQ(EventTimeFromText(QStringLiteral("yesterday at two"), now), now);
}

namespace {

// The value's bits, or the error's text.
std::string documentReading(const std::function<double()>& read) {
    try {
        const double value = read();
        char bits[32];
        std::snprintf(bits, sizeof bits, "%016llx",
                      static_cast<unsigned long long>(std::bit_cast<quint64>(value)));
        return bits;
    } catch (const EConvertError& error) {
        return std::string("error: ") + error.what();
    }
}

// Plain numbers, the forms beside them, and texts that are no number at all.
const char* const kConcentrationTexts[] = {
    "12.34",
    "-0.5",
    "1,25",
    "5",
    "0",
    "-0",
    "-0,0",
    "007.50",
    "0.1",
    "0.30000000000000004441",
    "2.2250738585072014e-308",
    "1e3",
    "1,5e2",
    "-1.5E-3",
    " 4.25",
    "4.25 ",
    "\t7\n",
    "",
    "abc",
    "inf",
    "-nan",
    "1,234.5",
    "1.2.3",
    "1,,2",
    "-",
    "--1",
    "-.5",
    ".5",
    "5.",
    "5,",
    "+5",
    "1e400",
    "4.9e-325",
    "0x1p3",
    "1 000",
    "１.５",
    "4,2\xC3\x85",
    "777777777777777777777777777777777777777",
    "1234567890123456789012345678901234567.89",
    "123456789012345678901234567890.123456789",
    "1234567890123456789012345678901234567890.5",
    "9007199254740993",
    "179769313486231580793728971405303415079934132710037826936173778980444"};

} // namespace

// A document's UTF-8 concentration text reads exactly as its decoded text does, with every
// separator: the same bits, or the same error.
TEST_F(NumberRules, DocumentConcentrationFromBytesReadsAsFromText) {
    for (const QChar separator : {QChar(u'.'), QChar(u','), QChar(u';')}) {
        for (const char* text : kConcentrationTexts) {
            DecimalSeparator::set(separator);
            const std::string fromBytes =
                documentReading([&] { return DecimalText::readDocumentConcentration(text); });
            DecimalSeparator::set(separator);
            const std::string fromText = documentReading(
                [&] { return DecimalText::readDocumentConcentration(QString::fromUtf8(text)); });
            EXPECT_EQ(fromBytes, fromText) << "'" << text << "' with " << char(separator.unicode());
        }
    }
    DecimalSeparator::set(u'.');
    EXPECT_EQ(documentReading([] { return DecimalText::readDocumentConcentration("1,25"); }),
              documentReading([] { return 1.25; }))
        << "a comma reads as the separator";
}
