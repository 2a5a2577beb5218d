#include "FolderListingSignature.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QHashFunctions>

namespace {

// Spreads the bits so that the sum over entries does not cancel out.
quint64 mix(quint64 value) {
    value ^= value >> 33;
    value *= 0xff51afd7ed558ccdULL;
    value ^= value >> 33;
    value *= 0xc4ceb9fe1a85ec53ULL;
    value ^= value >> 33;
    return value;
}

} // namespace

quint64 FolderListingSignature::Of(const QString& folder) {
    if (!QFileInfo(folder).isDir())
        return 0;
    // The sum does not depend on the order in which the system lists the entries.
    quint64 signature = 1;
    QDirIterator entries(folder,
                         QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        entries.next();
        const QFileInfo info = entries.fileInfo();
        const quint64 name = qHash(info.filePath(), size_t(0x5bd1e995));
        const quint64 size = quint64(info.isDir() ? -1 : info.size());
        const quint64 time = quint64(info.lastModified().toMSecsSinceEpoch());
        signature += mix(name ^ mix(size + 0x9e3779b97f4a7c15ULL) ^ mix(time * 31 + 7));
    }
    return signature;
}
