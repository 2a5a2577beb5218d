#include "TUniqueParameterInformation.h"

#include "TMicroReader.h"
#include "TMicroWriter.h"

void TUniqueParameterInformation::SetParameterName(const QString& value) {
    m_parameterName = value.trimmed();
    m_displayName = m_parameterName;
}

std::unique_ptr<IPersistIT> TUniqueParameterInformation::CreateNew() const {
    return std::make_unique<TUniqueParameterInformation>();
}

void TUniqueParameterInformation::ReadRecord(qint32 tag, TMicroReader& reader) {
    switch (tag) {
    case tagParameterID:
        SetParameterID(reader.ReadString());
        break;
    case tagParameterName:
        SetParameterName(reader.ReadString());
        break;
    case tagMeasurementPlace:
        SetMeasurementPlace(reader.ReadString());
        break;
    case tagParamExtraName:
        SetParamExtraName(reader.ReadString());
        break;
    case tagDisplayName:
        SetDisplayName(reader.ReadString());
        break;
    default:
        reader.SkipRecord();
    }
}

void TUniqueParameterInformation::Write(TMicroWriter& writer) const {
    writer.WriteStringRecord(tagParameterID, m_parameterId);
    writer.WriteStringRecord(tagParameterName, m_parameterName);
    writer.WriteStringRecord(tagMeasurementPlace, m_measurementPlace);
    writer.WriteStringRecord(tagParamExtraName, m_paramExtraName);
    writer.WriteStringRecord(tagDisplayName, m_displayName);
}

void TUniqueParameterInformation::Assign(const TUniqueParameterInformation& other) {
    m_parameterId = other.m_parameterId;
    m_parameterName = other.m_parameterName;
    m_measurementPlace = other.m_measurementPlace;
    m_paramExtraName = other.m_paramExtraName;
    m_displayName = other.m_displayName;
}

bool TUniqueParameterInformation::SameAs(const TUniqueParameterInformation& other) const {
    const bool sameId = !m_parameterId.isEmpty() && m_parameterId == other.m_parameterId;
    return (sameId || m_parameterName == other.m_parameterName) &&
           m_measurementPlace == other.m_measurementPlace &&
           m_paramExtraName == other.m_paramExtraName;
}
