#pragma once

#include <functional>
#include <vector>

#include <QByteArray>
#include <QString>

#include "TStreamObject.h"
#include "TZelReadWriter.h"

// Reads an object stream and hands every record tag, at the levels the handler opens, to a
// record handler. Checksums are verified per folding in checksum mode; a mismatch makes Load
// return false but reading goes on. Sizes are checked against the stream before anything is
// read, so a damaged size can neither make the reader allocate nor run past the end.
class TMicroReader : public TZelReadWriter {
public:
    // Called once per record tag. It must consume the record: read its value, skip it, or open
    // it with BeginFolding(tag) when it is a nested level.
    using Handler = std::function<void(qint32 tag, TMicroReader& reader)>;
    // Called after a level closed: stored checksum and whether it matched (zeros without
    // checksums). ClosedObject() is the object the level held.
    using LevelClosed = std::function<void(TMicroReader& reader, quint8 stored, bool correct)>;
    using HeaderRead = std::function<void(TMicroReader& reader)>;

    enum class HeaderLayout { RootFolding, OldHeader, Headerless };

    // Where reading ended early because a record reached beyond the end of the stream
    // (a file cut short), or -1.
    struct Truncation {
        qint64 recordOffset = -1;
        qint32 tag = 0;
    };

    bool Load(const QByteArray& stream, const Handler& handler);

    qint32 ReadTag();
    qint32 ReadSize();
    void BeginFolding(qint32 tag);
    bool EndFolding();
    // Enters a group whose tag was just read. Groups have no checksum level of their own: in
    // checksum mode their records simply follow in the enclosing folding.
    void EnterGroup(qint32 tag);

    quint8 ReadByte();
    qint32 ReadInteger();
    double ReadDouble();
    QString ReadString();
    void ReadBlock(char* buffer, qint32 count);
    void ReadRaw(char* buffer, qint64 count);
    QByteArray ReadRawBytes(qint64 count);
    void SkipRecord();
    void Skip(qint64 count);
    void MarkPayload(qint64 length);
    void SkipRestOfPayload();

    int Depth() const;
    TStreamObject* CurrentObject() const;
    void SetCurrentObject(TStreamObject* object);
    TStreamObject* ClosedObject() const { return m_closedObject; }

    void StopReading();
    bool Stopped() const { return m_stopped; }
    qint64 StopPosition() const { return m_stopPosition; }

    qint64 Position() const;
    qint64 StreamSize() const { return m_data ? m_data->size() : 0; }
    // Offset of the tag of the record the handler is being called for.
    qint64 RecordOffset() const { return m_recordOffset; }

    HeaderLayout Layout() const { return m_layout; }
    const Truncation& TruncatedRecord() const { return m_truncation; }
    bool FileValid() const { return m_fileValid; }

    void SetOnLevelClosed(LevelClosed callback) { m_onLevelClosed = std::move(callback); }
    void SetOnHeaderRead(HeaderRead callback) { m_onHeaderRead = std::move(callback); }

private:
    struct TReadFoldingObject {
        quint8 savedChecksum;
        qint64 savedEnd;
        TStreamObject* object = nullptr;
    };
    struct TReadGroupObject {
        qint64 size;
        qint64 start;
        TStreamObject* object = nullptr;
    };

    void reset();
    void readCurrentHeader();
    void readOldHeader();
    QString readHeaderString(qint64 declaredLength);
    void applyVersionText(const QString& rest);
    bool loadWithChecksums(const Handler& handler);
    bool loadWithoutChecksums(const Handler& handler);
    // Checks that the record whose tag was just read fits before the limit; false when not.
    bool recordFits(qint64 limit) const;
    qint64 groupEnd() const;
    void take(char* buffer, qint64 count, bool alwaysCounted);
    QString readStringBody(qint64 declaredLength);

    const QByteArray* m_data = nullptr;
    qint64 m_pos = 0;
    std::vector<TReadFoldingObject> m_foldings;
    std::vector<TReadGroupObject> m_groups;
    qint64 m_foldingEnd = 0;
    qint64 m_rootEnd = 0;
    bool m_fileValid = true;
    bool m_stopped = false;
    qint64 m_stopPosition = -1;
    qint64 m_markPosition = 0;
    qint64 m_markLength = 0;
    qint64 m_recordOffset = 0;
    HeaderLayout m_layout = HeaderLayout::RootFolding;
    Truncation m_truncation;
    TStreamObject* m_closedObject = nullptr;
    LevelClosed m_onLevelClosed;
    HeaderRead m_onHeaderRead;
};
