#include <gtest/gtest.h>

#include "QtPrinters.h"
#include "UnitConverter.h"

namespace {

TMDPoint pointOf(const QString& substance, const QString& unit, double value) {
    TMDPoint point;
    point.SetSubstance(substance);
    point.Y = -1; // what an unknown unit leaves in place
    point.SetValueInUnit(unit, false, value);
    return point;
}

} // namespace

TEST(TMDPoint, ValuesAreBroughtToMillimolar) {
    EXPECT_NEAR(pointOf("Glucose", "mg/dL", 90).Y, 90 / 18.02, 1e-12);
    EXPECT_NEAR(pointOf("Glucose", "mg/dL", 90).Y, 4.994, 1e-3);
    EXPECT_DOUBLE_EQ(pointOf("Pyruvate", QStringLiteral("µmol/L"), 150).Y, 0.15);
    EXPECT_DOUBLE_EQ(pointOf("Pyruvate", "umol/l", 150).Y, 0.15);
    EXPECT_DOUBLE_EQ(pointOf("Lactate", "mmol/l", 2.5).Y, 2.5) << "letter case does not matter";
    EXPECT_DOUBLE_EQ(pointOf("Lactate", "mM", 2.5).Y, 2.5);
    EXPECT_DOUBLE_EQ(pointOf("Lactate", "mg/dl", 9.008).Y, 1.0);
    EXPECT_DOUBLE_EQ(pointOf("Lactate", "g/L", 3).Y, -1) << "an unknown unit leaves the value";
    EXPECT_EQ(pointOf("Lactate", "g/L", 3).Unit, "MMOL/L");

    TMDPoint back;
    back.SetSubstance("Glucose");
    back.SetValueInUnit("mg/dL", true, 1.0);
    EXPECT_DOUBLE_EQ(back.Y, 18.02);
    back.SetSubstance("Urea");
    EXPECT_DOUBLE_EQ(back.Factor, 18.02) << "other substances keep the factor";
}

TEST(TMDPoint, RatiosAndTheirStatus) {
    TMDPoint ratio;
    SetRatio(ratio, "MMOL/L", "MMOL/L", 4.0, 2.0);
    EXPECT_DOUBLE_EQ(ratio.Y, 0.5);
    SetRatio(ratio, "MMOL/L", "MMOL/L", 0.0, 2.0);
    EXPECT_DOUBLE_EQ(ratio.Y, 1e10);
    SetRatio(ratio, "MMOL/L", "G/L", 4.0, 2.0);
    EXPECT_DOUBLE_EQ(ratio.Y, 1e10);

    using enum TAnalyseResult;
    TMDPoint point;
    point.Status = arNormal;
    EXPECT_EQ(CombineStatus(point, arUnderDetectionLimit), arUnderDetectionLimit);
    EXPECT_EQ(CombineStatus(point, arOverLinearityInterval), arNormal);
    EXPECT_EQ(CombineStatus(point, arUndefined), arUndefined);
    point.Status = arString;
    EXPECT_EQ(CombineStatus(point, arNormal), arNormal);
    point.Status = arOverLinearityInterval;
    EXPECT_EQ(CombineStatus(point, arNormal), arOverLinearityInterval);
    EXPECT_EQ(CombineStatus(point, arUnderDetectionLimit), arUnderDetectionLimit);
}

TEST(TUnitConverter, ConversionsAndTheirFailures) {
    TUnitConverter converter;
    TParameterIndependentGroup molar;
    molar.ParamIndependentUnits = {TUnit("mmol/L"), TUnit("umol/L", 1000)};
    molar.SubstanceFactors = {{"OstraSubstance1", 1.0}};
    TParameterIndependentGroup mass;
    mass.ParamIndependentUnits = {TUnit("mg/dL", 1, 0), TUnit("g/L", 0.01)};
    mass.SubstanceFactors = {{"OstraSubstance1", 18.02}};
    TParameterIndependentGroup kelvin;
    kelvin.ParamIndependentUnits = {TUnit("C"), TUnit("K", 1, 273.15)};
    converter.UnitGroupsList = {{"Concentration", {molar, mass}}, {"Temperature", {kelvin}}};

    double slope = 0;
    double intercept = 0;
    converter.Conversion("nothing", "nothing", intercept, slope, {});
    EXPECT_DOUBLE_EQ(slope, 1.0) << "same names: no search";
    converter.Conversion("mmol/L", "umol/L", intercept, slope, {});
    EXPECT_DOUBLE_EQ(slope, 1000.0);
    EXPECT_DOUBLE_EQ(intercept, 0.0);
    converter.Conversion("mmol/L", "mg/dL", intercept, slope, "OstraSubstance1");
    EXPECT_DOUBLE_EQ(slope, 18.02);
    converter.Conversion("C", "K", intercept, slope, {});
    EXPECT_DOUBLE_EQ(intercept, 273.15);

    try {
        converter.Conversion("mmol/L", "furlong", intercept, slope, {});
        FAIL();
    } catch (const EUnitConversionError& error) {
        EXPECT_STREQ(error.what(), "Could not find both units");
    }
    EXPECT_THROW(converter.Conversion("mmol/L", "K", intercept, slope, {}), EIncompatibleUnits);
    try {
        converter.Conversion("mmol/L", "mg/dL", intercept, slope, "OstraSubstance9");
        FAIL();
    } catch (const EUnitConversionError& error) {
        EXPECT_STREQ(error.what(), "Could not find parameterdependent conversion factor");
    }
    TUnit unit("x", 2.0);
    EXPECT_THROW(unit.SetSlope(0.0), EUnitConversionError);
    EXPECT_DOUBLE_EQ(unit.Slope(), 2.0);
}
