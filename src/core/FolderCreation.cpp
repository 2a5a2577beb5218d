#include "FolderCreation.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace FolderCreation {

namespace {

QString withoutTrailingSeparators(QString path) {
    while (path.size() > 1 && (path.endsWith(u'/') || path.endsWith(u'\\')))
        path.chop(1);
    return path;
}

// The reason the folder at path (or a folder below it) cannot be written, or empty.
QString whyNotWritable(const QString& path) {
    const QStorageInfo storage(path);
    if (storage.isValid() && storage.isReadOnly())
        return QStringLiteral("the file system of ") + path + QStringLiteral(" is read-only");
    if (!QFileInfo(path).isWritable())
        return QStringLiteral("no permission to write in ") + path;
    if (storage.isValid() && storage.bytesAvailable() == 0)
        return QStringLiteral("the disk of ") + path + QStringLiteral(" is full");
    return {};
}

} // namespace

QString whyNotUsable(const QString& folder) {
    QString path = withoutTrailingSeparators(QDir::cleanPath(folder));
    if (path.isEmpty())
        return QStringLiteral("no folder is named");
    // The folder itself, or the nearest part of its path that exists.
    while (!QFileInfo::exists(path)) {
        const QString parent = QFileInfo(path).path();
        if (parent == path)
            return QStringLiteral("no part of the path exists");
        path = parent;
    }
    if (!QFileInfo(path).isDir())
        return path + QStringLiteral(" is a file, not a folder");
    return whyNotWritable(path);
}

QString create(const QString& folder) {
    const QString path = withoutTrailingSeparators(QDir::cleanPath(folder));
    if (QFileInfo(path).isDir() || QDir().mkpath(path))
        return {};
    const QString why = whyNotUsable(path);
    return why.isEmpty() ? QStringLiteral("the system refused to create it") : why;
}

} // namespace FolderCreation
