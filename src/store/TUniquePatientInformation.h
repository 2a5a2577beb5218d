#pragma once

#include <QString>

#include "IPersistIT.h"

// Identity of a patient in the stored patient history: kind, number and key.
class TUniquePatientInformation : public TPersistIt {
public:
    static constexpr qint32 kRecordType = -23;
    enum Tag : qint32 { tagKind = 2021, tagNumber = 2022, tagKey = 2023 };

    quint8 Kind = 0;
    qint32 Number = 0;
    QString Key;

    std::unique_ptr<IPersistIT> CreateNew() const override;
    void ReadRecord(qint32 tag, TMicroReader& reader) override;
    qint32 RecordType() const override { return kRecordType; }
    void Write(TMicroWriter& writer) const override;

    void Assign(const TUniquePatientInformation& other);
    bool SameAs(const TUniquePatientInformation& other) const;
};
