#pragma once

#include <QString>

// A fingerprint of what a folder holds (names, sizes and modification times of every entry,
// also below it): it differs when a file is added, removed, renamed or rewritten. A missing
// folder has the fingerprint 0. Polling compares fingerprints where change notifications do not
// reach (files written by another machine on a network share).
namespace FolderListingSignature {

quint64 Of(const QString& folder);

} // namespace FolderListingSignature
