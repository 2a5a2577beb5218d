#include "IPersistIT.h"

#include "TMicroReader.h"
#include "TMicroWriter.h"
#include "ZelTypes.h"

void TPersistIt::AddChild(std::unique_ptr<IPersistIT> child) {
    m_children.push_back(std::move(child));
}

void TPersistIt::ReadRecord(qint32, TMicroReader& reader) {
    reader.SkipRecord();
}

qint32 TPersistIt::RecordType() const {
    throw EZelError(ZelText::kRecordTypeNotImplemented);
}

void TPersistIt::WriteTo(TMicroWriter& writer) const {
    writer.BeginFolding(RecordType());
    Write(writer);
    writer.EndFolding();
}

void TPersistIt::Write(TMicroWriter&) const {}
