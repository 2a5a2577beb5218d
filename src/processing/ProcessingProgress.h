#pragma once

#include <QDateTime>
#include <QString>

// How far the handling of the message or result at hand got, whether results are being
// processed, and the patient the last result or admission was for. Result processing owns the
// one instance; the readers of messages, documents and record lines mark their steps and name
// the current patient through these setters, everyone else reads.
class ProcessingProgress {
public:
    struct Patient {
        QString id;
        QString firstName;
        QString lastName;
        QString fullName; // first and last name with a space between
        QString folder;
    };

    // The step reached, for the failure lines ("not handled (" + step + ...).
    int step() const { return m_step; }
    void reachStep(int step) { m_step = step; }

    // While a result is processed, waiting results are not started.
    bool processing() const { return m_processing; }
    void setProcessing(bool processing) { m_processing = processing; }

    // Whether any message or result has arrived since the start (automatic hiding waits for it).
    bool dataReceived() const { return m_dataReceived; }
    void noteDataReceived() { m_dataReceived = true; }

    // When the last value shown was measured.
    const QDateTime& lastSampleTime() const { return m_lastSampleTime; }
    void setLastSampleTime(const QDateTime& time) { m_lastSampleTime = time; }

    const Patient& currentPatient() const { return m_patient; }
    void setCurrentPatient(const QString& id, const QString& firstName, const QString& lastName,
                           const QString& folder);
    // An admission's names are taken before its ID is known to be usable.
    void setCurrentPatientNames(const QString& firstName, const QString& lastName);
    void setCurrentPatientPlace(const QString& id, const QString& folder);
    // The start of a run: no patient yet.
    void forgetCurrentPatient() { m_patient = {}; }

    // While a patient folder is rebuilt from its archive: that folder, where every document read
    // is stored (a folder renamed by an administrator keeps its documents under the new name).
    const QString& rebuildFolder() const { return m_rebuildFolder; }
    void setRebuildFolder(const QString& folder) { m_rebuildFolder = folder; }

private:
    int m_step = 0;
    bool m_processing = false;
    bool m_dataReceived = false;
    QDateTime m_lastSampleTime;
    Patient m_patient;
    QString m_rebuildFolder;
};
