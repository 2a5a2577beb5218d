#pragma once

#include <functional>

#include <QByteArray>

#include "TStreamObject.h"

class TMicroReader;

// The one walk over the records of an object stream. A record whose tag opens an object where it
// stands becomes a level holding a new object of that class; the records of that level go to the
// object; whatever neither takes is offered to the reader's own records and skipped otherwise.
// Implementations say which tags open which objects, keep the objects, and read their records.
class StreamObjectReader {
public:
    virtual ~StreamObjectReader() = default;

    // Reads the stream with this walk as the record handler; the result is TMicroReader::Load's.
    bool load(TMicroReader& reader, const QByteArray& stream);
    // The record handler: called once per record tag, it consumes the record.
    void handleRecord(qint32 tag, TMicroReader& reader);

protected:
    // Makes the object of a level that has just been opened, keeps it and returns it.
    using Creator = std::function<TStreamObject*(TMicroReader& reader)>;

    // What a record of this tag opens where it stands (current: the object of the innermost
    // level, or null): the creator of its object, or an empty one when it opens none.
    virtual Creator objectOpenedBy(qint32 tag, TStreamObject* current) = 0;
    // Reads one record of the current object; false when it is none of the object's records.
    virtual bool readObjectRecord(TStreamObject& object, qint32 tag, TMicroReader& reader) = 0;
    // Reads a record that belongs to no object; false to have it skipped.
    virtual bool readOwnRecord(qint32 tag, TMicroReader& reader) = 0;
};
