#pragma once

#include <sys/stat.h>

#include "FileStamp.h"

// The stamp of a file from what stat or fstat reported of it (not on Windows).
inline FileStamp stampOfStatus(const struct stat& status) {
#ifdef __APPLE__
    const auto& time = status.st_mtimespec;
    const auto& changed = status.st_ctimespec;
#else
    const auto& time = status.st_mtim;
    const auto& changed = status.st_ctim;
#endif
    return {qint64(status.st_size), qint64(time.tv_sec) * 1000000000 + time.tv_nsec,
            qint64(status.st_ino), qint64(changed.tv_sec) * 1000000000 + changed.tv_nsec};
}
