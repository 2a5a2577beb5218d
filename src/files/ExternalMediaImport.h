#pragma once

#include <optional>

#include <QDir>
#include <QString>
#include <QStringList>

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
    // The documents of the patient's folder on the medium (or its archive folder, which from
    // then names), without links out of it.
    QStringList documentsIn(const QString& source, QDir& from);
    // Creates the patient's folder and archive; the refusal when one cannot be created.
    std::optional<ImportOutcome> createArchive(const QString& target, QString& archive);
    ImportOutcome copyDocuments(const QDir& from, const QStringList& files, const QString& archive);
    // Copies one document into the archive through a checked replacement; empty on success,
    // else the failure with the file it concerns.
    static QString copyWhole(const QString& from, const QString& to);

    const CollectorState& m_state;
    EventLog& m_log;
    OperatorMessages* m_messages;
};
