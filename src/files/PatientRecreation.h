#pragma once

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
    bool started = false; // the old data file was out of the way
    QString folder;
    int documents = 0; // archived documents found
    int skipped = 0;   // of them, not readable or not well-formed
};

// "Recreated data for ID: n documents read, k skipped".
QString recreationSummary(const QString& patientId, const RecreationOutcome& outcome);

// Rebuilds a patient's data file from the patient's archive: the data file is removed and every
// archived document is read again through the same result path as live data, so that the file
// holds each archived result once.
class PatientRecreation {
public:
    explicit PatientRecreation(PatientRecreationContext context);

    // force: store even for patients that are not collected; show: update the value grid.
    RecreationOutcome RecreatePatient(const QString& patientId, bool force, bool show);

private:
    void replay(const QString& path, bool force, bool show, RecreationOutcome& outcome);

    PatientRecreationContext m_context;
};
