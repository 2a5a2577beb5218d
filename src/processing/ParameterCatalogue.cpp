#include "ParameterCatalogue.h"

int TParameters::IndexOf(const QString& name, const QString& place) const {
    for (std::size_t i = 0; i < m_parameters.size(); ++i) {
        if (m_parameters[i].KeyName == name && m_parameters[i].MeasurementPlace == place)
            return int(i);
    }
    return -1;
}

TParameter& TParameters::Add(int index, const QString& unit, const QString& place,
                             const QString& name, const QDateTime& now) {
    TParameter parameter;
    parameter.Index = index;
    parameter.DisplayName = name;
    parameter.KeyName = name;
    parameter.MeasurementPlace = place;
    parameter.Unit = unit;
    parameter.Created = now;
    parameter.LastTime = now;
    m_parameters.push_back(std::move(parameter));
    emit changed();
    return m_parameters.back();
}

void TParameters::Clear() {
    m_parameters.clear();
    emit changed();
}
