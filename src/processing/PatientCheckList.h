#pragma once

#include <QObject>
#include <QString>

struct CollectorState;
class CollectionControl;
class EventLog;
class PatManagement;
class PatientListModel;

// Which entries of the patient list's menu may be used for a row (-1: the header "Patients").
struct PatientMenuState {
    bool recreateEnabled = false;
    bool importEnabled = false;
    bool deleteEnabled = false;
};

// The patient list's behaviour when the operator ticks, unticks or deletes a patient: a ticked
// patient gets its patient record file, an unticked one that was collected ends its series with
// end points, and the registry keeps the ticks for the next run.
class PatientCheckList : public QObject {
    Q_OBJECT

public:
    PatientCheckList(const CollectorState& state, EventLog& log, PatientListModel& patients,
                     PatManagement& registry, CollectionControl& control,
                     QObject* parent = nullptr);

    // After the check marks changed: walks every patient and sweeps the registry.
    void CheckChanged();
    // Ticks or unticks the patient with the ID and walks the list; false when there is no such
    // patient.
    bool SetTicked(const QString& patientId, bool ticked);

    PatientMenuState MenuFor(int row) const;
    // Removes the row when the patient is not sending; the registry is rewritten either way.
    // Returns whether the row was removed.
    bool Delete(int row);

signals:
    // A patient record file was created (the New Patient window shows the text).
    void patientFileCreated(const QString& statusText);

private:
    const CollectorState& m_state;
    EventLog& m_log;
    PatientListModel& m_patients;
    PatManagement& m_registry;
    CollectionControl& m_control;
};
