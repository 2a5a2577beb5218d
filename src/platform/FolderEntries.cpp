#include "FolderEntries.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <QFile>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#endif

QString FolderEntry::nameText() const {
#ifdef Q_OS_WIN
    return QString::fromWCharArray(reinterpret_cast<const wchar_t*>(name.data()),
                                   name.size() / qsizetype(sizeof(wchar_t)));
#else
    return QFile::decodeName(name.toByteArray());
#endif
}

bool forEachFolderEntry(const QString& folder,
                        const std::function<void(const FolderEntry&)>& visit) {
#ifdef Q_OS_WIN
    const std::wstring pattern =
        (QString(folder).replace(u'/', u'\\') + QStringLiteral("\\*")).toStdWString();
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    do {
        const std::wstring name(data.cFileName);
        if (name == L"." || name == L"..")
            continue;
        FolderEntry entry;
        entry.name = QByteArrayView(reinterpret_cast<const char*>(data.cFileName),
                                    qsizetype(name.size() * sizeof(wchar_t)));
        entry.size = (qint64(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        entry.modified = (qint64(data.ftLastWriteTime.dwHighDateTime) << 32) |
                         data.ftLastWriteTime.dwLowDateTime;
        entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entry.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !entry.isLink;
        entry.isFile = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && !entry.isLink;
        visit(entry);
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return true;
#else
    DIR* listing = ::opendir(QFile::encodeName(folder).constData());
    if (!listing)
        return false;
    const int descriptor = ::dirfd(listing);
    while (const dirent* item = ::readdir(listing)) {
        const char* text = item->d_name;
        if (text[0] == '.' && (text[1] == 0 || (text[1] == '.' && text[2] == 0)))
            continue;
        const QByteArrayView name(text);
        struct stat status;
        if (::fstatat(descriptor, item->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue; // gone meanwhile
        FolderEntry entry;
        entry.name = name;
        entry.size = qint64(status.st_size);
        entry.modified = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
        entry.isFolder = S_ISDIR(status.st_mode);
        entry.isFile = S_ISREG(status.st_mode);
        entry.isLink = S_ISLNK(status.st_mode);
        visit(entry);
    }
    ::closedir(listing);
    return true;
#endif
}

FolderStamp folderStampOf(const QString& folder) {
    FolderStamp stamp;
#ifdef Q_OS_WIN
    const std::wstring path = QString(folder).replace(u'/', u'\\').toStdWString();
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return stamp;
    stamp.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    stamp.exists = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    stamp.modified =
        (qint64(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    stamp.changed =
        (qint64(data.ftCreationTime.dwHighDateTime) << 32) | data.ftCreationTime.dwLowDateTime;
#else
    const QByteArray path = QFile::encodeName(folder);
    struct stat status;
    if (::lstat(path.constData(), &status) != 0)
        return stamp;
    if (S_ISLNK(status.st_mode)) {
        stamp.isLink = true;
        if (::stat(path.constData(), &status) != 0)
            return stamp;
    }
    stamp.exists = S_ISDIR(status.st_mode);
    stamp.modified = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    stamp.changed = qint64(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec;
    stamp.device = quint64(status.st_dev);
    stamp.identity = quint64(status.st_ino);
#endif
    return stamp;
}
