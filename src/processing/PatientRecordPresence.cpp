#include "PatientRecordPresence.h"

#include "PatientRecordFile.h"

bool PatientRecordPresence::Exists(const QString& folder) {
    if (m_present.contains(folder))
        return true;
    if (!PatientRecordFile::Exists(folder))
        return false;
    if (m_present.size() >= kRememberedFolders)
        m_present.clear();
    m_present.insert(folder);
    return true;
}
