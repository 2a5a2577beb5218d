#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include "CollectorState.h"

class Clock;
class EventLog;
class PatientListModel;
class SettingsStore;

// The patient registry: the patient list kept between runs as the values "Patient1",
// "Patient2", ... under the settings key, each "first^last^ID^yyyyMMddHHmmss^collect".
// Patients inactive for more than a day are forgotten; a checked patient that data arrived for
// is kept alive by every sweep.
//
// A sweep rewrites every value, so its cost grows with the list. Result processing asks for one
// with RequestSweep, which merges every request of one turn of the event loop into one sweep,
// and, while new patients keep coming, every request of one second: new patients then cost the
// same however many are registered. A request still waiting when the collector closes (or the
// registry object goes) is carried out then.
class PatManagement {
public:
    PatManagement(const SettingsStore& settings, PatientListModel& patients, EventLog& log,
                  const Clock& clock, IdReduction reduction);
    ~PatManagement();
    PatManagement(const PatManagement&) = delete;
    PatManagement& operator=(const PatManagement&) = delete;

    // Merges the registry into the list, drops expired patients and rewrites every value.
    void SweepPatientRegistry(bool startup);
    // A sweep (without the start-up flag) once the current event has been handled, and no
    // sooner than kRequestedSweepSpacingMs after the last write.
    void RequestSweep();
    bool SweepRequested() const { return m_requestedSweep.isActive(); }
    // Carries out a requested sweep now (when the program closes).
    void FlushRequestedSweep();
    // At closing: a requested sweep, or one that brings the registry's time stamps up to the
    // last data of each patient, so that a restart within a day of it forgets no one.
    void FlushAtClose();
    // Rewrites every value from the list (after an entry was deleted).
    void SavePatientRegistry();
    // The patient ID of "Patient" + n, or empty.
    QString PatientIDForNumber(int number) const;
    // The number of the first value holding the ID (after the ID reduction), or -1 (logged).
    int PatientNumberForID(const QString& id) const;

    QDateTime LastWrite() const { return m_lastWrite; }
    // How often the registry values were rewritten.
    int Writes() const { return m_writes; }

    // Field k of a value: the text after the k-th "^" up to the next one (the last field at most
    // 255 characters); empty when there is no such field.
    static QString Field(const QString& value, int index);

    static constexpr auto kTimeStampFormat = "yyyyMMddHHmmss";
    // The longest first or last name and patient ID kept: far beyond any real patient's, and
    // short enough that the list can never push the settings file past what can be read back.
    static constexpr qsizetype kLongestName = 100;
    static constexpr qsizetype kLongestPatientId = 64;
    // The text cut to at most the given number of characters (never inside a surrogate pair).
    static QString Bounded(const QString& text, qsizetype longest);
    static constexpr int kRequestedSweepSpacingMs = 1000;

private:
    struct RegistryPatient;
    std::vector<RegistryPatient> readRegistry() const;
    void writeList(const QStringList& oldNames);
    void renewActivePatients(std::vector<RegistryPatient>& registry, const QString& nowText);
    void mergeRegistry(std::vector<RegistryPatient>& registry, const QDateTime& now, bool startup);
    void reportExpired(const QString& id, const QString& stamp);
    QStringList patientValueNames() const;

    const SettingsStore& m_settings;
    PatientListModel& m_patients;
    EventLog& m_log;
    const Clock& m_clock;
    IdReduction m_reduction;
    QDateTime m_lastWrite;
    int m_writes = 0;
    QElapsedTimer m_sinceWrite;
    QTimer m_requestedSweep;
};
