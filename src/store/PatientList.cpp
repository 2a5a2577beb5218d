#include "PatientList.h"

QString PatientListModel::CaptionFor(const QString& id, const QString& firstName,
                                     const QString& lastName) {
    return id + QStringLiteral(", ") + firstName + u' ' + lastName;
}

int PatientListModel::IndexOf(const QString& patientId) const {
    return m_firstIndex.value(patientId, -1);
}

void PatientListModel::reindex() {
    m_firstIndex.clear();
    m_firstIndex.reserve(qsizetype(m_entries.size()));
    for (std::size_t i = m_entries.size(); i-- > 0;)
        m_firstIndex.insert(m_entries[i].Patient.PatientID, int(i));
}

int PatientListModel::Add(const TPatient& patient, bool checked, bool enabled) {
    m_entries.push_back({patient,
                         CaptionFor(patient.PatientID, patient.FirstName, patient.LastName),
                         checked, enabled, QDateTime()});
    m_firstIndex.insert(patient.PatientID, m_firstIndex.value(patient.PatientID, Count() - 1));
    emit changed();
    return Count() - 1;
}

void PatientListModel::RemoveAt(int index) {
    m_entries.erase(m_entries.begin() + index);
    reindex();
    emit changed();
}

void PatientListModel::SetChecked(int index, bool checked) {
    At(index).Checked = checked;
    emit changed();
}

void PatientListModel::SetEnabled(int index, bool enabled) {
    At(index).Enabled = enabled;
    emit changed();
}

void PatientListModel::Clear() {
    m_entries.clear();
    m_firstIndex.clear();
    emit changed();
}
