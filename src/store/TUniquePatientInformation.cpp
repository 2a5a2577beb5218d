#include "TUniquePatientInformation.h"

#include "TMicroReader.h"
#include "TMicroWriter.h"

std::unique_ptr<IPersistIT> TUniquePatientInformation::CreateNew() const {
    return std::make_unique<TUniquePatientInformation>();
}

void TUniquePatientInformation::ReadRecord(qint32 tag, TMicroReader& reader) {
    switch (tag) {
    case tagKind:
        Kind = reader.ReadByte();
        break;
    case tagNumber:
        Number = reader.ReadInteger();
        break;
    case tagKey:
        Key = reader.ReadString();
        break;
    default:
        reader.SkipRecord();
    }
}

void TUniquePatientInformation::Write(TMicroWriter& writer) const {
    writer.WriteByteRecord(tagKind, Kind);
    writer.WriteIntRecord(tagNumber, Number);
    writer.WriteStringRecord(tagKey, Key);
}

void TUniquePatientInformation::Assign(const TUniquePatientInformation& other) {
    Kind = other.Kind;
    Number = other.Number;
    Key = other.Key;
}

bool TUniquePatientInformation::SameAs(const TUniquePatientInformation& other) const {
    return Kind == other.Kind && Number == other.Number && Key == other.Key;
}
