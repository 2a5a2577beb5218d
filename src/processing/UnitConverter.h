#pragma once

#include <vector>

#include <QString>

#include "TarvoError.h"
#include "ZelTypes.h"

// Analyte values brought to mmol/L for the ratio series, and the general unit model of the
// analysis library.

class EUnitConversionError : public TarvoError {
public:
    using TarvoError::TarvoError;
};

class EIncompatibleUnits : public EUnitConversionError {
public:
    using EUnitConversionError::EUnitConversionError;
};

// mg/dL per mmol/L of the substances whose ratios are formed.
namespace SubstanceFactor {
inline constexpr double Glucose = 18.02;
inline constexpr double Lactate = 9.008;
inline constexpr double Pyruvate = 8.806;
} // namespace SubstanceFactor

// One analyte result as the ratio step uses it: time (X), value in mmol/L (Y), and what is
// copied into a ratio formed from it.
struct TMDPoint {
    double X = 0.0; // days since 1899-12-30
    double Y = 0.0;
    QString Substance;
    double Factor = 0.0;
    QString Unit = QStringLiteral("MMOL/L");
    TAnalyseResult Status = TAnalyseResult::arNormal;
    QString VialID;
    qint32 AttemptNo = 0;
    QString CatheterLocation;

    // Sets Y from a value in the given unit: to mmol/L, or from mmol/L to the unit when toUnit
    // is set. Units it does not know leave Y as it was. The unit becomes "MMOL/L".
    void SetValueInUnit(const QString& unit, bool toUnit, double value);
    // Sets the substance, and its factor when it is glucose, lactate or pyruvate.
    void SetSubstance(const QString& name);
};

// The value that marks a ratio that cannot be computed.
inline constexpr double kInvalidRatio = 10000000000.0;

// Sets the ratio point's Y to numerator / denominator when the denominator is above 0 and both
// units are the same text; otherwise to the invalid-ratio mark.
void SetRatio(TMDPoint& ratio, const QString& numeratorUnit, const QString& denominatorUnit,
              double denominator, double numerator);

// The status of a ratio formed from the point and another result.
TAnalyseResult CombineStatus(const TMDPoint& point, TAnalyseResult other);

// value in this unit = Slope × value in the group's reference unit + intercept
class TUnit {
public:
    TUnit(QString name, double slope = 1.0, double intercept = 0.0);
    QString UnitName;
    double Slope() const { return m_slope; }
    // A slope of 0 is refused with EUnitConversionError and the old slope kept.
    void SetSlope(double slope);
    double intercept = 0.0;

private:
    double m_slope = 1.0;
};

struct TSubstanceFactor {
    QString ParameterID;
    double Factor = 1.0;
};

// Units that convert into each other without knowing the substance, and the factors that link
// them to the other such groups of their unit group.
struct TParameterIndependentGroup {
    std::vector<TUnit> ParamIndependentUnits;
    std::vector<TSubstanceFactor> SubstanceFactors;
};

// Units of one physical quantity.
struct TUnitGroup {
    QString Description;
    std::vector<TParameterIndependentGroup> ParameterIndependentGroups;
};

class TUnitConverter {
public:
    std::vector<TUnitGroup> UnitGroupsList;

    // Slope and intercept such that value in "to" = slope × value in "from" + intercept.
    void Conversion(const QString& fromUnit, const QString& toUnit, double& intercept,
                    double& slope, const QString& parameterId) const;
};
