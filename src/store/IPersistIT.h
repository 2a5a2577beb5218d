#pragma once

#include <memory>
#include <vector>

#include <QtGlobal>

#include "TStreamObject.h"

class TMicroReader;
class TMicroWriter;

// The contract of every object that can live in an object stream: it writes itself as a
// folding tagged with its record type and reads its own records back.
class IPersistIT : public TStreamObject {
public:
    // A nested object finished reading and is handed to its parent (ownership passes).
    virtual void AddChild(std::unique_ptr<IPersistIT> child) = 0;
    // The object's own folding has ended.
    virtual void ReadingDone() = 0;
    // A new, empty object of the same class.
    virtual std::unique_ptr<IPersistIT> CreateNew() const = 0;
    // Reads one record of this object; tags it does not recognise are skipped.
    virtual void ReadRecord(qint32 tag, TMicroReader& reader) = 0;
    // The tag that identifies the class in a stream.
    virtual qint32 RecordType() const = 0;
    // Writes the object as a folding tagged with its record type.
    virtual void WriteTo(TMicroWriter& writer) const = 0;
};

// Base class of persistent objects: skips unknown records, keeps nested objects it is handed,
// and writes its fields (Write) inside its own folding.
class TPersistIt : public IPersistIT {
public:
    void AddChild(std::unique_ptr<IPersistIT> child) override;
    void ReadingDone() override {}
    void ReadRecord(qint32 tag, TMicroReader& reader) override;
    qint32 RecordType() const override;
    void WriteTo(TMicroWriter& writer) const override;
    virtual void Write(TMicroWriter& writer) const;

    const std::vector<std::unique_ptr<IPersistIT>>& Children() const { return m_children; }

private:
    std::vector<std::unique_ptr<IPersistIT>> m_children;
};
