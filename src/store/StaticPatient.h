#pragma once

#include <QString>

#include "THistoricItem.h"

class TMicroStreamParser;

// Patient master records of the patient database, with the history of their changes. The
// collector registers them with the stream parser so that files holding them can be read.
class TStaticPatient : public TPersistIt {
public:
    static constexpr qint32 kRecordType = -25;
    QString UniqueCode; // 2029
    QString PatientID;  // 2023
    QString FirstName;  // 2031
    QString LastName;   // 2032
    double Created = 0; // 2033

    std::unique_ptr<IPersistIT> CreateNew() const override;
    void ReadRecord(qint32 tag, TMicroReader& reader) override;
    qint32 RecordType() const override { return kRecordType; }
    void Write(TMicroWriter& writer) const override;
    // Only history items can be children.
    void AddChild(std::unique_ptr<IPersistIT> child) override;
};

// A change of a master record's ID or names: the former values.
class THistoricStaticPatient : public THistoricItem {
public:
    static constexpr qint32 kRecordType = -26;
    QString PatientID;
    QString LastName;
    QString FirstName;

    std::unique_ptr<IPersistIT> CreateNew() const override;
    void ReadRecord(qint32 tag, TMicroReader& reader) override;
    qint32 RecordType() const override { return kRecordType; }
    void Write(TMicroWriter& writer) const override;
    QString Describe() const;
};

// A copy of a master record: its former unique code.
class THistoricPatientCode : public THistoricItem {
public:
    static constexpr qint32 kRecordType = -27;
    QString UniqueCode;

    std::unique_ptr<IPersistIT> CreateNew() const override;
    void ReadRecord(qint32 tag, TMicroReader& reader) override;
    qint32 RecordType() const override { return kRecordType; }
    void Write(TMicroWriter& writer) const override;
    QString Describe() const;
};

// Registers the master record classes and the identity classes as stream prototypes.
void RegisterPatientRecordClasses(TMicroStreamParser& parser);
