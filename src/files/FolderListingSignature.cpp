#include "FolderListingSignature.h"

#include <QHashFunctions>

#include "FolderEntries.h"

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

bool addFolder(const QString& folder, quint64 depthSeed, quint64& signature) {
    return forEachFolderEntry(folder, [&](const FolderEntry& entry) {
        const quint64 name = qHash(entry.name, size_t(depthSeed));
        const quint64 size = entry.isFolder ? ~quint64(0) : quint64(entry.size);
        // The sum does not depend on the order in which the system lists the entries.
        signature +=
            mix(name ^ mix(size + 0x9e3779b97f4a7c15ULL) ^ mix(quint64(entry.modified) * 31 + 7));
        if (entry.isFolder)
            addFolder(folder + u'/' + entry.nameText(), mix(depthSeed + name), signature);
    });
}

} // namespace

quint64 FolderListingSignature::Of(const QString& folder) {
    quint64 signature = 1;
    return addFolder(folder, 0x5bd1e995, signature) ? signature : 0;
}
