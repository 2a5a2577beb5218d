#include <gtest/gtest.h>

#include "DecimalSeparator.h"
#include "PatientIdentity.h"
#include "QtPrinters.h"

using namespace PatientIdentity;

TEST(PatientIdentity, CleaningForResultsAndAdmissions) {
    EXPECT_EQ(Clean("12/34-56", Cleaning::Result, IdReduction::None), "123456");
    EXPECT_EQ(Clean("12/34-56", Cleaning::Admission, IdReduction::None), "1234-56");
    EXPECT_EQ(Clean(" \"*:<>?\\^|", Cleaning::Result, IdReduction::None), "NULL");
    EXPECT_EQ(Clean("", Cleaning::Result, IdReduction::None), "NULL");
    EXPECT_EQ(Clean("NULL", Cleaning::Result, IdReduction::None), "NULL");
    EXPECT_EQ(Clean(QStringLiteral("Åsa\x01\n\x7f"), Cleaning::Admission, IdReduction::None),
              QStringLiteral("Åsa"))
        << "characters above 127 stay, control characters go";
    EXPECT_EQ(Clean(QStringLiteral("\r\n\t"), Cleaning::Result, IdReduction::None), "NULL");
    EXPECT_EQ(CleanName(QStringLiteral("Anna\r\nDebugFolder=C:\\^x\x7f")),
              QStringLiteral("AnnaDebugFolder=C:\\x"));
}

TEST(PatientIdentity, Reduction) {
    EXPECT_EQ(Clean("ABCDEFGHIJKLM", Cleaning::Result, IdReduction::FirstTen), "ABCDEFGHIJ");
    EXPECT_EQ(Clean("ABCDEFGHIJKLM", Cleaning::Result, IdReduction::LastTen), "DEFGHIJKLM");
    EXPECT_EQ(Clean("ABCDEFGHIJKLM", Cleaning::Result, IdReduction::None), "ABCDEFGHIJKLM");
}

TEST(PatientIdentity, LeadingDotsWouldHideTheFolderAndAreCleanedAway) {
    const struct {
        const char* raw;
        IdReduction reduction;
        const char* cleaned;
    } cases[] = {
        {".P1", IdReduction::None, "P1"},
        {"...P1.2", IdReduction::None, "P1.2"},
        {". P1", IdReduction::None, "P1"},
        {".ABCDEFGHIJKLM", IdReduction::FirstTen, "ABCDEFGHIJ"},
        {"X.123456789", IdReduction::LastTen, "123456789"}, // a dot first after the reduction
        {"....", IdReduction::None, "NULL"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Clean(QString::fromLatin1(c.raw), Cleaning::Admission, c.reduction),
                  QLatin1String(c.cleaned))
            << c.raw;
        EXPECT_EQ(Clean(QString::fromLatin1(c.raw), Cleaning::Result, c.reduction),
                  QLatin1String(c.cleaned))
            << c.raw;
    }
}

TEST(PatientIdentity, HostileIdsNameNoFolderOutsideTheRoot) {
    for (const char* hostile : {"..", ".", "../..", "..\\..\\Windows", "/etc/passwd", "C:..", "...",
                                "CON", "nul.txt", "Lpt1"}) {
        const QString cleaned =
            Clean(QString::fromLatin1(hostile), Cleaning::Admission, IdReduction::None);
        EXPECT_TRUE(cleaned == "NULL" || !IsUnsafeFolderName(cleaned)) << hostile;
        if (cleaned != "NULL") {
            EXPECT_FALSE(cleaned.contains(u'/') || cleaned.contains(u'\\') || cleaned == "..");
        }
    }
    EXPECT_EQ(Clean("XX..........", Cleaning::Result, IdReduction::LastTen), "NULL")
        << "dots alone after the reduction";
    EXPECT_THROW(PatientFolderFor("../../etc", "/data/", IdReduction::None), EUnsafePatientId);
    EXPECT_THROW(PatientFolderFor("..", "/data/", IdReduction::None), EUnsafePatientId);
    EXPECT_THROW(PatientFolderFor("", "/data/", IdReduction::None), EUnsafePatientId);
}

TEST(PatientIdentity, FolderNames) {
    const QString sep = QString(QChar(u'/'));
    EXPECT_EQ(PatientFolderFor("12345678.$90", "/data/", IdReduction::None),
              "/data/12345678.$90" + sep);
    EXPECT_EQ(PatientFolderFor("ABC", "/data/", IdReduction::None), "/data/ABC" + sep);
    EXPECT_EQ(PatientFolderFor("ABCDEFGHIJKLM", "/data/", IdReduction::LastTen),
              "/data/DEFGHIJKLM" + sep);
}

TEST(PatientIdentity, StatusAndSubstance) {
    EXPECT_EQ(StatusFromText("OK"), TAnalyseResult::arNormal);
    EXPECT_EQ(StatusFromText("DL"), TAnalyseResult::arUnderDetectionLimit);
    EXPECT_EQ(StatusFromText("under detection limit"), TAnalyseResult::arUnderDetectionLimit);
    EXPECT_EQ(StatusFromText("LL"), TAnalyseResult::arOverLinearityInterval);
    EXPECT_EQ(StatusFromText("above linearity interval"), TAnalyseResult::arOverLinearityInterval);
    EXPECT_EQ(StatusFromText(""), TAnalyseResult::arString);
    EXPECT_EQ(StatusFromText("ok"), TAnalyseResult::arString);
    EXPECT_EQ(SubstanceName("Glucose"), "OstraSubstance1");
    EXPECT_EQ(SubstanceName("Pyruvate"), "OstraSubstance6");
    EXPECT_EQ(SubstanceName("Urea"), "OstraSubstance4");
    EXPECT_EQ(SubstanceName("LPRatio"), "");
}

TEST(PatientIdentity, LatestValueNumbers) {
    DecimalSeparator::set(u'.');
    EXPECT_EQ(LatestValueText("Glucose", "CNS", 0.5, "mM"), "Glucose CNS = 0.500 mM");
    EXPECT_EQ(LatestValueText("Glucose", "CNS", 7.25, "mM"), "Glucose CNS = 7.25 mM");
    EXPECT_EQ(LatestValueText("Glucose", "CNS", 12.345, "mM"), "Glucose CNS = 12.3 mM");
    EXPECT_EQ(LatestValueText("Glucose", "CNS", 250, "mM"), "Glucose CNS = 250 mM");
    EXPECT_EQ(LatestValueText("Glucose", "CNS", -12.5, "mM"), "Glucose CNS = -12.500 mM");
    DecimalSeparator::set(u',');
    EXPECT_EQ(LatestValueText("Urea", "Muscle", 7.25, "mM"), "Urea Muscle = 7,25 mM");
    DecimalSeparator::set(DecimalSeparator::system());
}

// The parts of a value give its text with the separator they were taken with, whatever the
// separator is when the text is written.
TEST(PatientIdentity, LatestValuePartsKeepTheirSeparator) {
    const struct {
        double value;
        QChar separator;
        const char* text;
    } cases[] = {
        {0.5, u'.', "Glucose CNS = 0.500 mM"},       {0.5, u',', "Glucose CNS = 0,500 mM"},
        {7.25, u',', "Glucose CNS = 7,25 mM"},       {99.96, u',', "Glucose CNS = 100,0 mM"},
        {250, u',', "Glucose CNS = 250 mM"},         {-12.5, u',', "Glucose CNS = -12,500 mM"},
        {1e10, u'.', "Glucose CNS = 10000000000 mM"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const LatestValueParts parts{"Glucose", "CNS", "mM", c.value, c.separator};
        for (const QChar current : {QChar(u'.'), QChar(u',')}) {
            DecimalSeparator::set(current);
            EXPECT_EQ(LatestValueText(parts), c.text);
        }
        DecimalSeparator::set(c.separator);
        EXPECT_EQ(LatestValueText("Glucose", "CNS", c.value, "mM"), c.text);
    }
    DecimalSeparator::set(DecimalSeparator::system());
}
