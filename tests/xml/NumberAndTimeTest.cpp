#include <gtest/gtest.h>

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
