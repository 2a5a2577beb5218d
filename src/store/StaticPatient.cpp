#include "StaticPatient.h"

#include "OleDateTime.h"
#include "TMicroReader.h"
#include "TMicroStreamParser.h"
#include "TMicroWriter.h"
#include "TUniqueParameterInformation.h"
#include "TUniquePatientInformation.h"
#include "ZelTypes.h"

namespace {

enum Tag : qint32 {
    tagUniqueCode = 2029,
    tagPatientID = 2023,
    tagFirstName = 2031,
    tagLastName = 2032,
    tagCreated = 2033,
};

QString timeText(double stamp) {
    return OleDateTime::toDateTime(stamp).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

std::unique_ptr<IPersistIT> TStaticPatient::CreateNew() const {
    return std::make_unique<TStaticPatient>();
}

void TStaticPatient::ReadRecord(qint32 tag, TMicroReader& reader) {
    switch (tag) {
    case tagUniqueCode:
        UniqueCode = reader.ReadString();
        break;
    case tagPatientID:
        PatientID = reader.ReadString();
        break;
    case tagFirstName:
        FirstName = reader.ReadString();
        break;
    case tagLastName:
        LastName = reader.ReadString();
        break;
    case tagCreated:
        Created = reader.ReadDouble();
        break;
    default:
        reader.SkipRecord();
    }
}

void TStaticPatient::Write(TMicroWriter& writer) const {
    writer.WriteStringRecord(tagUniqueCode, UniqueCode);
    writer.WriteStringRecord(tagPatientID, PatientID);
    writer.WriteStringRecord(tagFirstName, FirstName);
    writer.WriteStringRecord(tagLastName, LastName);
    writer.WriteDoubleRecord(tagCreated, Created);
    for (const auto& child : Children())
        child->WriteTo(writer);
}

void TStaticPatient::AddChild(std::unique_ptr<IPersistIT> child) {
    if (dynamic_cast<THistoricItem*>(child.get()) == nullptr)
        throw EZelError("Exception:Unknown object. Code kjads9834nsad8");
    TPersistIt::AddChild(std::move(child));
}

std::unique_ptr<IPersistIT> THistoricStaticPatient::CreateNew() const {
    return std::make_unique<THistoricStaticPatient>();
}

void THistoricStaticPatient::ReadRecord(qint32 tag, TMicroReader& reader) {
    switch (tag) {
    case tagPatientID:
        PatientID = reader.ReadString();
        break;
    case tagLastName:
        LastName = reader.ReadString();
        break;
    case tagFirstName:
        FirstName = reader.ReadString();
        break;
    default:
        THistoricItem::ReadRecord(tag, reader);
    }
}

void THistoricStaticPatient::Write(TMicroWriter& writer) const {
    THistoricItem::Write(writer);
    writer.WriteStringRecord(tagPatientID, PatientID);
    writer.WriteStringRecord(tagLastName, LastName);
    writer.WriteStringRecord(tagFirstName, FirstName);
}

QString THistoricStaticPatient::Describe() const {
    const QString crlf = QStringLiteral("\r\n");
    const QString tab = QStringLiteral("\t");
    return tab + QStringLiteral(" Changed at ") + timeText(TimeStamp) + QStringLiteral(" from") +
           crlf + tab + tab + QStringLiteral(" ID: ") + PatientID + crlf + tab + tab +
           QStringLiteral(" First Name: ") + FirstName + crlf + tab + tab +
           QStringLiteral(" Last Name: ") + LastName + crlf;
}

std::unique_ptr<IPersistIT> THistoricPatientCode::CreateNew() const {
    return std::make_unique<THistoricPatientCode>();
}

void THistoricPatientCode::ReadRecord(qint32 tag, TMicroReader& reader) {
    if (tag == tagUniqueCode)
        UniqueCode = reader.ReadString();
    else
        THistoricItem::ReadRecord(tag, reader);
}

void THistoricPatientCode::Write(TMicroWriter& writer) const {
    THistoricItem::Write(writer);
    writer.WriteStringRecord(tagUniqueCode, UniqueCode);
}

QString THistoricPatientCode::Describe() const {
    const QString crlf = QStringLiteral("\r\n");
    const QString tab = QStringLiteral("\t");
    return tab + QStringLiteral(" Copied at ") + timeText(TimeStamp) + QStringLiteral(" from") +
           crlf + tab + tab + QStringLiteral(" Unique Code: ") + UniqueCode + crlf + crlf;
}

void RegisterPatientRecordClasses(TMicroStreamParser& parser) {
    parser.RegisterPrototype(std::make_unique<TStaticPatient>());
    parser.RegisterPrototype(std::make_unique<THistoricStaticPatient>());
    parser.RegisterPrototype(std::make_unique<THistoricPatientCode>());
    parser.RegisterPrototype(std::make_unique<TUniquePatientInformation>());
    parser.RegisterPrototype(std::make_unique<TUniqueParameterInformation>());
}
