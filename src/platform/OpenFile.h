#pragma once

#include <QByteArray>
#include <QString>

#include "FileStamp.h"

// A file held open for reading and writing at given offsets, so that a series of writes to one
// file costs no look-up by name. Its stamp is read from the open file itself: a file that no
// longer has a name (removed, or replaced by a rename) has no stamp (size -1).
class OpenFile {
public:
    OpenFile() = default;
    ~OpenFile() { close(); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    // Opens the file for reading and writing, creating it when it does not exist.
    bool open(const QString& fileName);
    bool isOpen() const;
    const QString& fileName() const { return m_fileName; }
    void close();

    // Size, modification time, identity and change time of the open file; size -1 when they
    // cannot be read or the file has no name any more.
    FileStamp stamp() const;
    // The whole file; false when it cannot be read.
    bool readAll(QByteArray& data);
    // Writes all bytes at the offset; false when any could not be written.
    bool writeAt(qint64 offset, const char* data, qint64 size) {
        return writeAll(offset, data, size);
    }
    bool writeAt(qint64 offset, const QByteArray& bytes) {
        return writeAll(offset, bytes.constData(), bytes.size());
    }
    bool resize(qint64 size);
    // Writes all bytes at the current position (after the last write); false when any could
    // not be written.
    bool write(const char* data, qint64 size) { return writeAll(-1, data, size); }

    // The system's reason for the last failure.
    const QString& errorString() const { return m_error; }

private:
    // Writes at the offset, or at the current position when the offset is -1.
    bool writeAll(qint64 offset, const char* data, qint64 size);
    void fail();

    QString m_fileName;
    QString m_error;
#ifdef Q_OS_WIN
    class QFile* m_file = nullptr;
#else
    int m_descriptor = -1;
#endif
};
