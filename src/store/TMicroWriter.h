#pragma once

#include <memory>
#include <vector>

#include <QByteArray>
#include <QString>

#include "TZelReadWriter.h"

// Writes an object stream: tagged, length-prefixed records that nest as foldings (with a
// checksum level of their own) or groups (without). The payload of an open folding or group is
// built in memory and written with its size when it closes, so sizes never need patching.
class TMicroWriter : public TZelReadWriter {
public:
    // Makes the byte array both the base and the current stream; writes append to it.
    void SetStream(QByteArray* stream);

    // Opens the root folding (tag 1) and writes the header string record (tag 9).
    void WriteHeader();
    // Closes the innermost open folding (the root folding when everything else is closed).
    void CloseStream() { EndFolding(); }

    void BeginFolding(qint32 tag);
    bool EndFolding();
    void BeginGroup(qint32 tag);
    void EndGroup();

    void WriteTag(qint32 tag);
    void WriteRecordHead(qint32 tag, qint32 size);
    void WriteByteRecord(qint32 tag, quint8 value);
    void WriteIntRecord(qint32 tag, qint32 value);
    void WriteDoubleRecord(qint32 tag, double value);
    void WriteBlockRecord(qint32 tag, const char* bytes, qint32 count);
    void WriteStringRecord(qint32 tag, const QString& text);

    void WriteRaw(const char* bytes, qint64 count);
    void WriteInt16(qint16 value);
    void WriteInt32(qint32 value);
    void WriteDouble(double value);
    void WriteByte(quint8 value);
    // A string payload without tag: int32 (length + 4), int32 1, the 8-bit characters.
    void WriteString(const QString& text);
    // The running checksum as one byte (closing a folding in checksum mode).
    void WriteChecksum();

    int Depth() const { return int(m_stack.size()); }

    // The header text of this writer's version and checksum mode.
    QString HeaderText() const;

private:
    struct TWriteFoldingObject {
        quint8 savedChecksum;
        bool isFolding;
        QByteArray* savedStream;
        std::unique_ptr<QByteArray> buffer;
    };

    void put(const char* bytes, qint64 count, bool alwaysCounted = false);
    void openLevel(qint32 tag, bool isFolding);

    QByteArray* m_base = nullptr;
    QByteArray* m_current = nullptr;
    std::vector<TWriteFoldingObject> m_stack;
};
