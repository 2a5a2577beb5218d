#include "FileStamp.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <QFile>

#include "StatusStamp.h"
#endif

FileStamp FileStamp::of(const QString& fileName) {
#ifdef Q_OS_WIN
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(reinterpret_cast<LPCWSTR>(fileName.utf16()), GetFileExInfoStandard,
                              &data))
        return {};
    const qint64 size = (qint64(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const qint64 modified =
        (qint64(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    const qint64 created =
        (qint64(data.ftCreationTime.dwHighDateTime) << 32) | data.ftCreationTime.dwLowDateTime;
    return {size, modified, created, 0};
#else
    struct stat status;
    if (::stat(QFile::encodeName(fileName).constData(), &status) != 0)
        return {};
    return stampOfStatus(status);
#endif
}
