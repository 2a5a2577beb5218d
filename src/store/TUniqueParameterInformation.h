#pragma once

#include <QString>

#include "IPersistIT.h"

// Identity of a measured parameter: ID, name, measurement place, extra name and the name shown.
// Every value given is trimmed of leading and trailing blanks; setting the parameter name also
// sets the display name.
class TUniqueParameterInformation : public TPersistIt {
public:
    static constexpr qint32 kRecordType = -24;
    enum Tag : qint32 {
        tagParameterID = 2024,
        tagParameterName = 2025,
        tagMeasurementPlace = 2026,
        tagParamExtraName = 2027,
        tagDisplayName = 2028,
    };

    const QString& ParameterID() const { return m_parameterId; }
    const QString& ParameterName() const { return m_parameterName; }
    const QString& MeasurementPlace() const { return m_measurementPlace; }
    const QString& ParamExtraName() const { return m_paramExtraName; }
    const QString& DisplayName() const { return m_displayName; }

    void SetParameterID(const QString& value) { m_parameterId = value.trimmed(); }
    void SetParameterName(const QString& value);
    void SetMeasurementPlace(const QString& value) { m_measurementPlace = value.trimmed(); }
    void SetParamExtraName(const QString& value) { m_paramExtraName = value.trimmed(); }
    void SetDisplayName(const QString& value) { m_displayName = value.trimmed(); }

    std::unique_ptr<IPersistIT> CreateNew() const override;
    void ReadRecord(qint32 tag, TMicroReader& reader) override;
    qint32 RecordType() const override { return kRecordType; }
    void Write(TMicroWriter& writer) const override;

    void Assign(const TUniqueParameterInformation& other);
    // Same parameter: same non-empty ID or same name, and same place and extra name.
    bool SameAs(const TUniqueParameterInformation& other) const;

private:
    QString m_parameterId;
    QString m_parameterName;
    QString m_measurementPlace;
    QString m_paramExtraName;
    QString m_displayName;
};
