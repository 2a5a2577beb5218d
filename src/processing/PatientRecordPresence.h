#pragma once

#include <QSet>
#include <QString>

// Which patient folders hold their patient record file, looked up once per folder and run.
// The record file marks a patient registered with the patient data management system; once
// seen it is taken to stay for the run, so that storing value after value does not look for it
// each time. A folder without it is looked at again every time, since the file may be created
// at any moment. A patient whose folder changes is looked up in the new folder.
class PatientRecordPresence {
public:
    bool Exists(const QString& folder);

    // How many folders are remembered at most; beyond that the memory starts afresh.
    static constexpr qsizetype kRememberedFolders = 4096;

private:
    QSet<QString> m_present;
};
