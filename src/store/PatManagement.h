#pragma once

#include <QDateTime>
#include <QString>

#include "CollectorState.h"

class Clock;
class EventLog;
class PatientListModel;
class SettingsStore;

// The patient registry: the patient list kept between runs as the values "Patient1",
// "Patient2", ... under the settings key, each "first^last^ID^yyyyMMddHHmmss^collect".
// Patients inactive for more than a day are forgotten; a checked patient that data arrived for
// is kept alive by every sweep.
class PatManagement {
public:
    PatManagement(const SettingsStore& settings, PatientListModel& patients, EventLog& log,
                  const Clock& clock, IdReduction reduction);

    // Merges the registry into the list, drops expired patients and rewrites every value.
    void SweepPatientRegistry(bool startup);
    // Rewrites every value from the list (after an entry was deleted).
    void SavePatientRegistry();
    // The patient ID of "Patient" + n, or empty.
    QString PatientIDForNumber(int number) const;
    // The number of the first value holding the ID (after the ID reduction), or -1 (logged).
    int PatientNumberForID(const QString& id) const;

    QDateTime LastWrite() const { return m_lastWrite; }

    // Field k of a value: the text after the k-th "^" up to the next one (the last field at most
    // 255 characters); empty when there is no such field.
    static QString Field(const QString& value, int index);

    static constexpr auto kTimeStampFormat = "yyyyMMddHHmmss";

private:
    struct RegistryPatient;
    std::vector<RegistryPatient> readRegistry() const;
    void writeList();
    QStringList patientValueNames() const;

    const SettingsStore& m_settings;
    PatientListModel& m_patients;
    EventLog& m_log;
    const Clock& m_clock;
    IdReduction m_reduction;
    QDateTime m_lastWrite;
};
