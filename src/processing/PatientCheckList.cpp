#include "PatientCheckList.h"

#include "CollectionControl.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "LogPrefixes.h"
#include "PatManagement.h"
#include "PatientIdentity.h"
#include "PatientList.h"
#include "PatientRecordFile.h"
#include "TarvoError.h"

PatientCheckList::PatientCheckList(const CollectorState& state, EventLog& log,
                                   PatientListModel& patients, PatManagement& registry,
                                   CollectionControl& control, QObject* parent)
    : QObject(parent), m_state(state), m_log(log), m_patients(patients), m_registry(registry),
      m_control(control) {}

void PatientCheckList::CheckChanged() {
    try {
        for (int i = 0; i < m_patients.Count(); ++i) {
            PatientEntry& entry = m_patients.At(i);
            TPatient& patient = entry.Patient;
            if (entry.Checked) {
                const QString folder = PatientIdentity::PatientFolderFor(
                    patient.PatientID, m_state.dataRoot, m_state.idReduction);
                if (!PatientRecordFile::Exists(folder))
                    emit patientFileCreated(PatientRecordFile::Create(
                        patient.PatientID, patient.FirstName, folder, patient.LastName));
            } else if (patient.Collect) {
                m_control.writeEndPoints(true);
            }
            patient.Collect = entry.Checked;
        }
    } catch (const std::exception& error) {
        m_log.writeError(QLatin1String(LogPrefix::kPatientCheck) + describeError(error));
    }
    m_registry.SweepPatientRegistry(false);
}

bool PatientCheckList::SetTicked(const QString& patientId, bool ticked) {
    const int index = m_patients.IndexOf(patientId);
    if (index < 0)
        return false;
    m_patients.SetChecked(index, ticked);
    CheckChanged();
    return true;
}

PatientMenuState PatientCheckList::MenuFor(int row) const {
    PatientMenuState menu;
    const bool xml = m_state.protocol == AnalyzerProtocol::Xml;
    if (row < 0) {
        menu.recreateEnabled = true;
        menu.importEnabled = true;
        return menu;
    }
    menu.recreateEnabled = xml;
    menu.importEnabled = xml;
    menu.deleteEnabled = row < m_patients.Count() && !m_patients.At(row).Enabled;
    return menu;
}

bool PatientCheckList::Delete(int row) {
    if (row < 0 || row >= m_patients.Count())
        return false;
    const bool removed = !m_patients.At(row).Enabled;
    if (removed)
        m_patients.RemoveAt(row);
    m_registry.SavePatientRegistry();
    return removed;
}
