#include "StreamObjectReader.h"

#include "TMicroReader.h"

bool StreamObjectReader::load(TMicroReader& reader, const QByteArray& stream) {
    return reader.Load(stream, [this](qint32 tag, TMicroReader& r) { handleRecord(tag, r); });
}

void StreamObjectReader::handleRecord(qint32 tag, TMicroReader& reader) {
    TStreamObject* current = reader.CurrentObject();
    if (const Creator create = objectOpenedBy(tag, current)) {
        reader.BeginFolding(tag);
        reader.SetCurrentObject(create(reader));
        return;
    }
    if (current != nullptr && readObjectRecord(*current, tag, reader))
        return;
    if (!readOwnRecord(tag, reader))
        reader.SkipRecord();
}
