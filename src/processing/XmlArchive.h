#pragma once

#include <QString>
#include <pugixml.hpp>

struct CollectorState;
class EventLog;
class ProcessingProgress;
class TXMLDocument;

// The patient's archive of patient-data documents: the folder "XML-files" in the patient's
// folder holds one document per admission, named after the admission's unique identifier, so a
// newer document of an admission replaces the older one. When duplication is on, the message
// is also written to the duplicate location in the analyzer's own form (UTF-16).
class XmlArchive {
public:
    static constexpr auto kFolderName = "XML-files";

    // What names a patient-data document and its archive file: the first admission's patient
    // and identifiers.
    struct AdmissionKeys {
        QString patientId;
        QString firstName;
        QString lastName;
        QString uniqueId;
        QString admissionDate;
    };
    // Reads the keys of an Admission element without changing the document: a read through
    // the schema binding adds an absent element, and the archive keeps a document as it came.
    static AdmissionKeys KeysOf(pugi::xml_node admission);

    XmlArchive(const CollectorState& state, const ProcessingProgress& progress, EventLog& log);

    // The file name (without ".xml") a UniqueID may give. An ID that is empty or cannot name a
    // file inside the archive (separators, "..", a drive, reserved characters or device names)
    // gives a name derived from it, the same one every time for the same ID.
    static QString ArchiveNameFor(const QString& uniqueId, const QString& fallbackKey);

    // Saves the document into the archive of the current patient as name + ".xml", creating
    // the folder; returns the file path. Throws when the document cannot be saved.
    QString Store(const TXMLDocument& document, const QString& name);

    // Writes the message (as classified) beside the other stations' copies. Failures are logged
    // and go no further.
    void Duplicate(const QString& message, const QString& name);

private:
    const CollectorState& m_state;
    const ProcessingProgress& m_progress; // the current patient
    EventLog& m_log;
};
