#include "FileReplacement.h"

#include <QSaveFile>

namespace {

FileLayer* g_layer = nullptr;

QString failure(const QString& fileName, const QString& step, const QString& error) {
    return QStringLiteral("Could not write ") + fileName + QStringLiteral(" (") + step +
           QStringLiteral("): ") + (error.isEmpty() ? QStringLiteral("unknown error") : error);
}

} // namespace

bool FileLayer::open(QSaveFile& file) {
    // Unbuffered: every write reaches the file system at once and its failure is seen here,
    // not swallowed by a later flush.
    return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 FileLayer::write(QSaveFile& file, const QByteArray& data) {
    return file.write(data);
}

bool FileLayer::flush(QSaveFile& file) {
    return file.flush();
}

qint64 FileLayer::writtenSize(QSaveFile& file) {
    return file.size();
}

bool FileLayer::commit(QSaveFile& file) {
    return file.commit();
}

FileLayer& FileLayer::current() {
    static FileLayer standard;
    return g_layer != nullptr ? *g_layer : standard;
}

FileLayer::Scope::Scope(FileLayer& layer) : m_previous(g_layer) {
    g_layer = &layer;
}

FileLayer::Scope::~Scope() {
    g_layer = m_previous;
}

namespace FileReplacement {

QString replace(const QString& fileName, const QByteArray& contents) {
    FileLayer& layer = FileLayer::current();
    QSaveFile file(fileName);
    // Never write straight into the old file when no temporary file can be made beside it.
    file.setDirectWriteFallback(false);
    if (!layer.open(file))
        return failure(fileName, QStringLiteral("open"), file.errorString());
    const qint64 written = layer.write(file, contents);
    if (written != contents.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return failure(fileName,
                       QStringLiteral("write, %1 of %2 bytes").arg(written).arg(contents.size()),
                       error);
    }
    if (!layer.flush(file)) {
        const QString error = file.errorString();
        file.cancelWriting();
        return failure(fileName, QStringLiteral("flush"), error);
    }
    const qint64 onDisk = layer.writtenSize(file);
    if (onDisk != contents.size()) {
        file.cancelWriting();
        return failure(
            fileName, QStringLiteral("check"),
            QStringLiteral("the new file holds %1 of %2 bytes").arg(onDisk).arg(contents.size()));
    }
    if (!layer.commit(file))
        return failure(fileName, QStringLiteral("replace"), file.errorString());
    return {};
}

} // namespace FileReplacement
