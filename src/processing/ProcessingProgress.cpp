#include "ProcessingProgress.h"

void ProcessingProgress::setCurrentPatient(const QString& id, const QString& firstName,
                                           const QString& lastName, const QString& folder) {
    setCurrentPatientNames(firstName, lastName);
    setCurrentPatientPlace(id, folder);
}

void ProcessingProgress::setCurrentPatientNames(const QString& firstName, const QString& lastName) {
    m_patient.firstName = firstName;
    m_patient.lastName = lastName;
    m_patient.fullName = firstName + u' ' + lastName;
}

void ProcessingProgress::setCurrentPatientPlace(const QString& id, const QString& folder) {
    m_patient.id = id;
    m_patient.folder = folder;
}
