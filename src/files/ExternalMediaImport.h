#pragma once

#include <QString>

struct CollectorState;
class EventLog;
class OperatorMessages;

// What one import did; message is what the operator was shown (empty when all went well).
struct ImportOutcome {
    bool imported = false;
    int copied = 0;
    QString targetArchive;
    QString message;
};

// Copies a patient's XML documents from external media (the analyzer's SD card) into the
// patient's archive. It does not rebuild the data file: "Recreate data", or the folder monitor,
// reads the new files.
class ExternalMediaImport {
public:
    static constexpr auto kNotCreated = "Patient NOT created";

    ExternalMediaImport(const CollectorState& state, EventLog& log, OperatorMessages* messages);

    // sourceRoot: the medium's "Data" folder (ExternalMediaDrive::SourceRoot).
    ImportOutcome Import(const QString& patientId, const QString& sourceRoot);

private:
    ImportOutcome refuse(const QString& message);
    // Copies one document into the archive through a checked replacement; empty on success,
    // else the failure with the file it concerns.
    static QString copyWhole(const QString& from, const QString& to);

    const CollectorState& m_state;
    EventLog& m_log;
    OperatorMessages* m_messages;
};
