#pragma once

#include <QString>
#include <QStringList>

// The patient folders the operator picks from, with the caption of the picker.
struct PatientFolderListing {
    QString caption;
    QStringList patients; // folder names, sorted
};

namespace PatientFolders {

inline constexpr auto kCaptionPrefix = "Patients with XML Data in folder: ";
inline constexpr auto kDataRootName = "Orvanta database";

// Patient folders of the data root that have an archive ("XML-files").
PatientFolderListing WithArchive(const QString& dataRoot);

// Patient folders on external media that hold "*.xml" files, directly or in "XML-files"; none
// when no source root is set.
PatientFolderListing OnMedia(const QString& sourceRoot);

} // namespace PatientFolders
