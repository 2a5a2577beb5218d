#pragma once

#include <QString>

// Symbolic links in a patient's folder are followed only while they stay inside it: a document
// in the archive that leads to /etc/passwd or into another patient's folder is never read.
namespace PatientFolderLinks {

// Where the path leads when it, or a folder on its way below the patient's folder, is a
// symbolic link to somewhere outside that folder: the place it leads to (for a link to nothing,
// where it points). Empty when the path stays inside (or does not exist).
QString EscapeOf(const QString& path, const QString& patientFolder);

// The log line for a path that is skipped for that reason.
QString SkipLine(const QString& path, const QString& patientFolder, const QString& escape);

} // namespace PatientFolderLinks
