#pragma once

#include <QByteArray>
#include <QString>

// The patient record file "Patient" in a patient folder: its presence marks a registered patient
// for the patient data management system, which reads the names from it. It is built from a
// 271-byte template with the last name, first name and patient ID in fixed fields.
namespace PatientRecordFile {

inline constexpr auto kFileName = "Patient";
inline constexpr auto kBackupName = "Backup.Bak";
inline constexpr int kSize = 271;

// The template with the three fields filled: last name at byte 2 and first name at byte 23
// (21 bytes each, at most 20 characters), trimmed patient ID at byte 44 (12 bytes, at most 11).
QByteArray Contents(const QString& patientId, const QString& firstName, const QString& lastName);

// True when the folder holds the record file.
bool Exists(const QString& folder);

// Creates the folder with its parents and writes the record file (replacing one). Returns the
// text the New Patient window shows. Throws std::runtime_error when the folder or the file
// cannot be written.
QString Create(const QString& patientId, const QString& firstName, const QString& folder,
               const QString& lastName);

// The same, but an existing record file is left as it is.
void CreateIfMissing(const QString& patientId, const QString& firstName, const QString& folder,
                     const QString& lastName);

// Writes new names into the record file, keeping the old file as "Backup.Bak". Nothing is
// changed (false) when the folder is one of the registered folders of the ini file
// ("Registered", values 1 to 3), or when the old file cannot be set aside or the new one cannot
// be written whole (failure then holds the message for the operator; the record is unchanged).
bool UpdateNames(const QString& patientId, const QString& firstName, const QString& folder,
                 const QString& lastName, const QString& tcaDataIni, QString* failure = nullptr);

} // namespace PatientRecordFile
