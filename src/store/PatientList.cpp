#include "PatientList.h"

QString PatientListModel::CaptionFor(const QString& id, const QString& firstName,
                                     const QString& lastName) {
    return id + QStringLiteral(", ") + firstName + u' ' + lastName;
}

int PatientListModel::IndexOf(const QString& patientId) const {
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].Patient.PatientID == patientId)
            return int(i);
    }
    return -1;
}

int PatientListModel::Add(const TPatient& patient, bool checked, bool enabled) {
    m_entries.push_back({patient,
                         CaptionFor(patient.PatientID, patient.FirstName, patient.LastName),
                         checked, enabled, QDateTime()});
    emit changed();
    return Count() - 1;
}

void PatientListModel::RemoveAt(int index) {
    m_entries.erase(m_entries.begin() + index);
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
    emit changed();
}
