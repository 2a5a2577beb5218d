#include "UnitConverter.h"

namespace {

// Upper-cases ASCII letters only; the micro sign stays as it is.
QString upperAscii(const QString& text) {
    QString upper = text;
    for (QChar& c : upper) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 32);
    }
    return upper;
}

bool isMicromolar(const QString& unit) {
    static const QString micro = QString(QChar(0xB5));
    return unit == micro + QStringLiteral("M") || unit == micro + QStringLiteral("MOL/L") ||
           unit == QLatin1String("UMOL/L") || unit == QLatin1String("UM");
}

struct FoundUnit {
    const TUnit* unit = nullptr;
    const TUnitGroup* group = nullptr;
    const TParameterIndependentGroup* independent = nullptr;
};

FoundUnit findUnit(const std::vector<TUnitGroup>& groups, const QString& name) {
    for (const TUnitGroup& group : groups) {
        for (const TParameterIndependentGroup& independent : group.ParameterIndependentGroups) {
            for (const TUnit& unit : independent.ParamIndependentUnits) {
                if (unit.UnitName == name)
                    return {&unit, &group, &independent};
            }
        }
    }
    return {};
}

double factorOf(const TParameterIndependentGroup& group, const QString& parameterId) {
    for (const TSubstanceFactor& factor : group.SubstanceFactors) {
        if (factor.ParameterID == parameterId)
            return factor.Factor;
    }
    throw EUnitConversionError("Could not find parameterdependent conversion factor");
}

} // namespace

void TMDPoint::SetValueInUnit(const QString& unit, bool toUnit, double value) {
    const QString upper = upperAscii(unit);
    if (upper == QLatin1String("MM") || upper == QLatin1String("MMOL/L"))
        Y = value;
    else if (isMicromolar(upper))
        Y = toUnit ? value * 1000 : value / 1000;
    else if (upper == QLatin1String("MG/DL"))
        Y = toUnit ? value * Factor : value / Factor;
    Unit = QStringLiteral("MMOL/L");
}

void TMDPoint::SetSubstance(const QString& name) {
    Substance = name;
    if (name == QLatin1String("Glucose"))
        Factor = SubstanceFactor::Glucose;
    else if (name == QLatin1String("Lactate"))
        Factor = SubstanceFactor::Lactate;
    else if (name == QLatin1String("Pyruvate"))
        Factor = SubstanceFactor::Pyruvate;
}

void SetRatio(TMDPoint& ratio, const QString& numeratorUnit, const QString& denominatorUnit,
              double denominator, double numerator) {
    ratio.Y = denominator > 0 && numeratorUnit == denominatorUnit ? numerator / denominator
                                                                  : kInvalidRatio;
}

TAnalyseResult CombineStatus(const TMDPoint& point, TAnalyseResult other) {
    using enum TAnalyseResult;
    if (point.Status == arUndefined || other == arUndefined)
        return arUndefined;
    if (point.Status == arUnderDetectionLimit || other == arUnderDetectionLimit)
        return arUnderDetectionLimit;
    if (point.Status == arOverLinearityInterval)
        return arOverLinearityInterval;
    return arNormal;
}

TUnit::TUnit(QString name, double slope, double intercept_)
    : UnitName(std::move(name)), intercept(intercept_) {
    SetSlope(slope);
}

void TUnit::SetSlope(double slope) {
    if (slope == 0.0)
        throw EUnitConversionError("Slope can not be zero");
    m_slope = slope;
}

void TUnitConverter::Conversion(const QString& fromUnit, const QString& toUnit, double& intercept,
                                double& slope, const QString& parameterId) const {
    if (fromUnit == toUnit) {
        slope = 1.0;
        intercept = 0.0;
        return;
    }
    const FoundUnit from = findUnit(UnitGroupsList, fromUnit);
    const FoundUnit to = findUnit(UnitGroupsList, toUnit);
    if (from.unit == nullptr || to.unit == nullptr)
        throw EUnitConversionError("Could not find both units");
    if (from.group != to.group)
        throw EIncompatibleUnits("The units are not compatible");
    if (from.independent == to.independent) {
        slope = to.unit->Slope() / from.unit->Slope();
    } else {
        slope = (factorOf(*to.independent, parameterId) * to.unit->Slope()) /
                (factorOf(*from.independent, parameterId) * from.unit->Slope());
    }
    intercept = to.unit->intercept - slope * from.unit->intercept;
}
