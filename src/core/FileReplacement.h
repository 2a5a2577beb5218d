#pragma once

#include <QByteArray>
#include <QString>

class QSaveFile;

// The file operations a replacement goes through. The standard layer calls the file system;
// tests put in a layer that fails a chosen operation (or claims a write it did not do) to see
// what a full disk or a failing device does to the files.
class FileLayer {
public:
    virtual ~FileLayer() = default;

    virtual bool open(QSaveFile& file);
    virtual qint64 write(QSaveFile& file, const QByteArray& data);
    virtual bool flush(QSaveFile& file);
    // The size of what was written, as the file system holds it.
    virtual qint64 writtenSize(QSaveFile& file);
    // Puts the new file in the place of the old one.
    virtual bool commit(QSaveFile& file);

    // The layer replacements use: the standard one unless a test put another in place.
    static FileLayer& current();

    // Puts a layer in place for the lifetime of the object (tests).
    class Scope {
    public:
        explicit Scope(FileLayer& layer);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        FileLayer* m_previous;
    };
};

// Replaces the contents of a file in one step: the new contents go to a temporary file beside
// it, every write and the flush are checked, and the size on disk must equal the contents'
// size before the temporary file takes the old file's place. On any failure the old file (or
// the absence of one) stays as it was and no temporary file is left behind.
namespace FileReplacement {

// Returns an empty text on success, else one line naming the file and the error.
QString replace(const QString& fileName, const QByteArray& contents);

} // namespace FileReplacement
