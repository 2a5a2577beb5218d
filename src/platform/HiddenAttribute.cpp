#include "HiddenAttribute.h"

#ifdef Q_OS_WIN
#include <QDir>
#include <windows.h>
#endif

bool setHiddenAttribute(const QString& path) {
#ifdef Q_OS_WIN
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    const DWORD attributes = GetFileAttributesW(native.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    return SetFileAttributesW(native.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN) != 0;
#else
    Q_UNUSED(path);
    return true;
#endif
}
