#include "PatientFolderListing.h"

#include <QDir>

#include "InstallationLayout.h"
#include "XmlArchive.h"

namespace PatientFolders {

namespace {

const QDir::Filters kFolders = QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden;

bool holdsXml(const QString& folder) {
    return !QDir(folder).entryList({QStringLiteral("*.xml")}, QDir::Files | QDir::Hidden).isEmpty();
}

} // namespace

PatientFolderListing WithArchive(const QString& dataRoot) {
    PatientFolderListing listing;
    listing.caption = QLatin1String(kCaptionPrefix) + QLatin1String(kDataRootName);
    const QDir root(dataRoot);
    for (const QString& name : root.entryList(kFolders, QDir::Name)) {
        if (QDir(root.filePath(name) + nativeSeparator() + QLatin1String(XmlArchive::kFolderName))
                .exists())
            listing.patients << name;
    }
    return listing;
}

PatientFolderListing OnMedia(const QString& sourceRoot) {
    PatientFolderListing listing;
    listing.caption = QLatin1String(kCaptionPrefix) + QDir::toNativeSeparators(sourceRoot);
    if (sourceRoot.isEmpty())
        return listing; // no drive set: not the working folder
    const QDir root(sourceRoot);
    for (const QString& name : root.entryList(kFolders, QDir::Name)) {
        const QString folder = root.filePath(name);
        if (holdsXml(folder) ||
            holdsXml(folder + nativeSeparator() + QLatin1String(XmlArchive::kFolderName)))
            listing.patients << name;
    }
    return listing;
}

} // namespace PatientFolders
