#pragma once

#include <QDir>
#include <map>
#include <optional>

#include <QString>

struct CollectorState;
class Clock;
class EventLog;
class OrvantaLink;
class PatientFileLock;
class ResultProcessor;
class TSaveItNew;
class TXMLDocument;

// Everything a rebuild reads and changes, owned by the collector.
struct PatientRecreationContext {
    const CollectorState& state;
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
    int skipped = 0;   // of them, not readable or not well-formed, or of another folder
    // Another collector holds the patient's lock ("host, process n"): the rebuild is left to it
    // and this one tries again once the lock is free.
    QString heldBy;
    // A stop request ended the rebuild: its file is left beside the data file and the rebuild is
    // resumed at the next start.
    bool interrupted = false;
};

// "Recreated data for ID: n documents read, k skipped".
QString recreationSummary(const QString& patientId, const RecreationOutcome& outcome);

// Rebuilds a patient's data file from the patient's archive: every archived document is read
// again through the same result path as live data into a new file beside the data file, which
// then takes the data file's place, so that the file holds each archived result once. An old
// data file holding results that the archive does not give back is kept under another name.
//
// Several collectors may share the data root: a rebuild first takes the patient's lock
// (PatientFileLock), builds into a file of its own name, and renames it over the data file only
// when it is complete, checked and the lock is still its own. A collector that finds the lock
// held leaves the rebuild to the holder and rebuilds once the lock is free (RetryDeferred).
// Only the folder being rebuilt is written: a document of a patient whose own folder is
// another one is skipped with a log line.
class PatientRecreation {
public:
    // A rebuild that is running when a stop is requested ends this long after the request.
    static constexpr qint64 kStopGraceMs = 2000;

    explicit PatientRecreation(PatientRecreationContext context);

    // force: store even for patients that are not collected; show: update the value grid.
    RecreationOutcome RecreatePatient(const QString& patientId, bool force, bool show);

    // Rebuilds again, storing whether or not the patient is collected, every patient whose
    // last rebuild was interrupted (its rebuilt file was left beside the data file); each is
    // logged. Returns how many were rebuilt.
    int ResumeInterruptedRebuilds();

    // Rebuilds the patients left to another collector whose lock has since been released.
    // Returns how many were rebuilt.
    int RetryDeferred();
    int DeferredCount() const { return int(m_deferred.size()); }

    // Whether a stop request has been waiting longer than kStopGraceMs.
    static bool stopDue();

private:
    // The archived documents that may be read; those that lead outside the patient's folder
    // through a symbolic link are left out with one log line each.
    QStringList readableEntries(const QString& patientFolder, const QDir& archive) const;
    struct Deferred {
        bool force = false;
        bool show = false;
    };
    void replay(const QString& path, bool force, bool show, RecreationOutcome& outcome);
    bool belongsHere(const TXMLDocument& document, bool events, const QString& path,
                     const QString& folder);
    // Whose a patient ID received in a document is: the ID as cleaned, and the folder of
    // another patient that exists for it (empty when it is the folder's own or none exists).
    struct Owner {
        QString received;
        QString folder;
        QString id;
        QString otherFolder;
    };
    const Owner& ownerOf(const QString& received, const QString& folder);
    RecreationOutcome rebuildLocked(const QString& patientId, bool force, bool show,
                                    PatientFileLock& lock, RecreationOutcome outcome);
    // The files of one rebuild and how its documents are read.
    struct Building {
        QString dataFile;
        QString rebuilt;
        bool force = false;
        bool show = false;
    };
    bool clearTheWay(const QString& dataFile);
    bool replayAll(const QDir& archive, const QStringList& entries, const Building& building,
                   PatientFileLock& lock, RecreationOutcome& outcome);
    void leaveInterrupted(const QString& patientId, const QString& rebuilt, int documents,
                          const RecreationOutcome& outcome);
    bool rebuiltIsSound(bool lockLost, PatientFileLock& lock, const QString& rebuilt,
                        RecreationOutcome& outcome);
    void putInPlace(const QString& patientId, const QString& dataFile, const QString& rebuilt,
                    RecreationOutcome& outcome);

    PatientRecreationContext m_context;
    std::map<QString, Deferred> m_deferred;
    // The last ID looked up, within one rebuild (whose documents mostly name one patient).
    std::optional<Owner> m_lastOwner;
};
