#pragma once

#include <QDir>
#include <QString>

struct CollectorState;
class Clock;
class EventLog;
class OrvantaLink;
class ResultProcessor;
class TSaveItNew;

// Everything a rebuild reads and changes, owned by the collector.
struct PatientRecreationContext {
    CollectorState& state;
    EventLog& log;
    ResultProcessor& processor;
    OrvantaLink& orvanta;
    const Clock& clock;
    TSaveItNew& writer;
};

// What one rebuild did.
struct RecreationOutcome {
    bool started = false; // the old data file was (or, after the rebuild, went) out of the way
    QString folder;
    int documents = 0; // archived documents found
    int skipped = 0;   // of them, not readable or not well-formed
};

// "Recreated data for ID: n documents read, k skipped".
QString recreationSummary(const QString& patientId, const RecreationOutcome& outcome);

// Rebuilds a patient's data file from the patient's archive: every archived document is read
// again through the same result path as live data into a new file beside the data file, which
// then takes the data file's place, so that the file holds each archived result once. An old
// data file holding results that the archive does not give back is kept under another name.
class PatientRecreation {
public:
    explicit PatientRecreation(PatientRecreationContext context);

    // force: store even for patients that are not collected; show: update the value grid.
    RecreationOutcome RecreatePatient(const QString& patientId, bool force, bool show);

    // Rebuilds again, storing whether or not the patient is collected, every patient whose
    // last rebuild was interrupted (its rebuilt file was left beside the data file); each is
    // logged. Returns how many were rebuilt.
    int ResumeInterruptedRebuilds();

private:
    // The archived documents that may be read; those that lead outside the patient's folder
    // through a symbolic link are left out with one log line each.
    QStringList readableEntries(const QString& patientFolder, const QDir& archive) const;
    void replay(const QString& path, bool force, bool show, RecreationOutcome& outcome);

    PatientRecreationContext m_context;
};
