#include "PatientRecreation.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include "CollectorState.h"
#include "EventLog.h"
#include "EventsFile.h"
#include "FolderEntries.h"
#include "InstallationLayout.h"
#include "LogPrefixes.h"
#include "MoveAsideFile.h"
#include "OrvantaLink.h"
#include "PatientDataDocumentReader.h"
#include "PatientDataFile.h"
#include "PatientFileLock.h"
#include "PatientFolderLinks.h"
#include "PatientIdentity.h"
#include "ProcessingProgress.h"
#include "RebuiltDataFile.h"
#include "ResultProcessor.h"
#include "TSaveItNew.h"
#include "TXMLDocument.h"
#include "TarvoError.h"
#include "TerminationSignals.h"
#include "XMLTarvoEventsFromFileParser.h"
#include "XMLTarvoParser.h"
#include "XmlArchive.h"
#include "XmlErrors.h"

QString recreationSummary(const QString& patientId, const RecreationOutcome& outcome) {
    return QStringLiteral("Recreated data for ") + patientId + QStringLiteral(": ") +
           QString::number(outcome.documents - outcome.skipped) +
           QStringLiteral(" documents read, ") + QString::number(outcome.skipped) +
           QStringLiteral(" skipped");
}

PatientRecreation::PatientRecreation(PatientRecreationContext context)
    : m_context(std::move(context)) {}

bool PatientRecreation::stopDue() {
    const qint64 since = TerminationSignals::msSinceRequest();
    return since >= kStopGraceMs;
}

RecreationOutcome PatientRecreation::RecreatePatient(const QString& patientId, bool force,
                                                     bool show) {
    const CollectorState& state = m_context.state;
    RecreationOutcome outcome;
    outcome.folder =
        PatientIdentity::PatientFolderFor(patientId, state.dataRoot, state.idReduction);
    // A folder that is gone (renamed or removed by an administrator) is not created again.
    if (!QFileInfo(outcome.folder).isDir()) {
        outcome.started = true;
        m_deferred.erase(patientId);
        return outcome;
    }
    PatientFileLock lock(outcome.folder);
    if (!lock.tryLock() && lock.holder().isEmpty()) {
        // No lock file can be made there (a folder that cannot be written).
        m_deferred.erase(patientId);
        m_context.log.writeLog(QStringLiteral("Unable to recreate data for ") + outcome.folder);
        m_context.log.writeLog(
            QStringLiteral("  the lock ") +
            QDir::toNativeSeparators(outcome.folder + QLatin1String(PatientFileLock::kFileName)) +
            QStringLiteral(" cannot be created"));
        return outcome;
    }
    if (!lock.isLocked()) {
        outcome.heldBy = lock.holder();
        const bool known = m_deferred.count(patientId) > 0;
        Deferred& deferred = m_deferred[patientId];
        deferred.force = deferred.force || force;
        deferred.show = deferred.show || show;
        if (!known)
            m_context.log.writeLog(QStringLiteral("Data for ") + patientId +
                                   QStringLiteral(" is being rebuilt by ") + outcome.heldBy +
                                   QStringLiteral("; this collector rebuilds it when that has "
                                                  "ended"));
        return outcome;
    }
    m_deferred.erase(patientId);
    return rebuildLocked(patientId, force, show, lock, outcome);
}

RecreationOutcome PatientRecreation::rebuildLocked(const QString& patientId, bool force, bool show,
                                                   PatientFileLock& lock,
                                                   RecreationOutcome outcome) {
    const QString dataFile = outcome.folder + QLatin1String(kPatientDataFileName);
    const QString rebuilt = RebuiltDataFile::NameFor(dataFile);
    if (!clearTheWay(dataFile)) {
        m_context.log.writeLog(QStringLiteral("Unable to recreate data for ") + outcome.folder);
        return outcome;
    }
    outcome.started = true;
    // What the writer knew of the files is of no use any more.
    m_context.writer.ClearLoadCache();

    const QDir archive(outcome.folder + QLatin1String(XmlArchive::kFolderName));
    const QStringList entries = readableEntries(outcome.folder, archive);
    QElapsedTimer elapsed;
    elapsed.start();
    bool lockLost = false;
    if (!entries.isEmpty()) {
        m_context.log.writeLog(QStringLiteral("Recreating data for ") + patientId +
                               QStringLiteral(" from ") + QString::number(entries.size()) +
                               QStringLiteral(" archived documents"));
        const Building building{dataFile, rebuilt, force, show};
        lockLost = !replayAll(archive, entries, building, lock, outcome);
    }
    if (outcome.interrupted) {
        leaveInterrupted(patientId, rebuilt, int(entries.size()), outcome);
        return outcome;
    }
    if (!rebuiltIsSound(lockLost, lock, rebuilt, outcome))
        return outcome;
    putInPlace(patientId, dataFile, rebuilt, outcome);
    if (entries.isEmpty())
        return outcome;
    m_context.log.writeLog(recreationSummary(patientId, outcome) + QStringLiteral(", ") +
                           QString::number(elapsed.elapsed()) + QStringLiteral(" ms"));
    m_context.orvanta.notifyUpdate();
    return outcome;
}

// Something other than a file in the data file's place holds no results and goes first; a
// rebuilt file left by an earlier rebuild (of any collector: the lock holder is the only
// writer) is begun anew.
bool PatientRecreation::clearTheWay(const QString& dataFile) {
    const QFileInfo current(dataFile);
    const bool noFileInPlace = (current.exists() || current.isSymLink()) && !current.isFile();
    bool cleared = !noFileInPlace || MoveAsideFile(dataFile, true);
    for (const QString& leftover : RebuiltDataFile::LeftBeside(dataFile))
        cleared = MoveAsideFile(leftover, true) && cleared;
    return cleared;
}

// Reads every archived document into the rebuilt file while the data file stays as it is and
// nothing else is written. False when the lock was lost on the way.
bool PatientRecreation::replayAll(const QDir& archive, const QStringList& entries,
                                  const Building& building, PatientFileLock& lock,
                                  RecreationOutcome& outcome) {
    TSaveItNew& writer = m_context.writer;
    ProcessingProgress& progress = m_context.processor.Progress();
    struct StandIn {
        TSaveItNew& writer;
        ProcessingProgress& progress;
        ResultProcessor& processor;
        ~StandIn() {
            processor.EndFileResults();
            writer.ClearStandIn();
            writer.ClearLoadCache();
            progress.setRebuildFolder({});
        }
    };
    m_lastOwner.reset(); // folders may have come or gone since the last rebuild
    try {
        writer.SetStandIn(building.dataFile, building.rebuilt);
        progress.setRebuildFolder(outcome.folder);
        // The documents' values go to the one file being built: what is known of it is kept
        // from one document to the next.
        m_context.processor.BeginFileResults();
        const StandIn standIn{writer, progress, m_context.processor};
        for (const QString& entry : entries) {
            if (stopDue()) {
                outcome.interrupted = true;
                return true;
            }
            if (!lock.renew())
                return false;
            ++outcome.documents;
            replay(archive.filePath(entry), building.force, building.show, outcome);
        }
    } catch (...) {
        QFile::remove(building.rebuilt);
        throw;
    }
    return true;
}

void PatientRecreation::leaveInterrupted(const QString& patientId, const QString& rebuilt,
                                         int documents, const RecreationOutcome& outcome) {
    // The rebuilt file, even an empty one, tells the next start to rebuild again.
    if (!QFileInfo::exists(rebuilt)) {
        QFile marker(rebuilt);
        marker.open(QIODevice::WriteOnly);
    }
    m_context.log.writeLog(QStringLiteral("The rebuild of ") + patientId +
                           QStringLiteral(" was ended by the stop after ") +
                           QString::number(outcome.documents) + QStringLiteral(" of ") +
                           QString::number(documents) +
                           QStringLiteral(" documents; it is done again at the next start"));
}

// Whether the rebuilt file may take the data file's place: the lock is still this collector's
// and the file is whole. Otherwise it is removed and the data file is left as it was.
bool PatientRecreation::rebuiltIsSound(bool lockLost, PatientFileLock& lock, const QString& rebuilt,
                                       RecreationOutcome& outcome) {
    QString failure;
    if (lockLost || !lock.stillOurs())
        failure =
            QStringLiteral("another collector took over the lock ") +
            QDir::toNativeSeparators(outcome.folder + QLatin1String(PatientFileLock::kFileName));
    else if (QFileInfo::exists(rebuilt))
        failure = RebuiltDataFile::Check(rebuilt);
    if (failure.isEmpty())
        return true;
    QFile::remove(rebuilt);
    outcome.started = false;
    m_context.log.writeLog(QStringLiteral("Unable to recreate data for ") + outcome.folder);
    m_context.log.writeLog(QStringLiteral("  ") + failure +
                           QStringLiteral("; the data file is left as it was"));
    return false;
}

// Puts the rebuilt file in the data file's place; a failure is logged and the outcome says it.
void PatientRecreation::putInPlace(const QString& patientId, const QString& dataFile,
                                   const QString& rebuilt, RecreationOutcome& outcome) {
    const RebuiltDataFile::Replacement replacement = RebuiltDataFile::Replace(dataFile, rebuilt);
    if (!replacement.keptAs.isEmpty())
        m_context.log.writeLog(QStringLiteral("The data file of ") + patientId +
                               QStringLiteral(" held ") +
                               QString::number(replacement.missingResults) +
                               QStringLiteral(" results that its archive does not hold; it was "
                                              "kept as ") +
                               QDir::toNativeSeparators(replacement.keptAs));
    if (!replacement.replaced) {
        outcome.started = false;
        m_context.log.writeLog(QStringLiteral("Unable to recreate data for ") + outcome.folder);
        m_context.log.writeLog(QStringLiteral("  ") + replacement.failure);
    }
}

QStringList PatientRecreation::readableEntries(const QString& patientFolder,
                                               const QDir& archive) const {
    // Nothing outside the patient's folder is read through a link: not through a link in place
    // of the patient's folder (it is another folder), of its archive folder, or of a document.
    QString folder = patientFolder;
    while (folder.size() > 1 && (folder.endsWith(u'/') || folder.endsWith(u'\\')))
        folder.chop(1);
    const QFileInfo folderInfo(folder);
    if (folderInfo.isSymLink()) {
        const QString target = folderInfo.canonicalFilePath();
        m_context.log.writeLog(
            PatientFolderLinks::SkipLine(folder, m_context.state.dataRoot,
                                         target.isEmpty() ? QStringLiteral("nowhere") : target));
        return {};
    }
    const QString archiveEscape = PatientFolderLinks::EscapeOf(archive.path(), patientFolder);
    if (!archiveEscape.isEmpty()) {
        m_context.log.writeLog(
            PatientFolderLinks::SkipLine(archive.path(), patientFolder, archiveEscape));
        return {};
    }
    // One listing gives each entry's kind: only links need their way followed (a document that
    // is no link stays where the archive folder is, which was found inside the patient's folder
    // above). Folders, pipes and devices are no documents: opening a pipe would wait for a writer.
    QStringList entries;
    forEachFolderEntry(archive.path(), [&](const FolderEntry& item) {
        if (!item.isFile && !item.isLink)
            return;
        const QString entry = item.nameText();
        if (!entry.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive))
            return;
        if (item.isFile) {
            entries << entry;
            return;
        }
        const QString path = archive.filePath(entry);
        if (const QFileInfo target(path); target.exists() && !target.isFile())
            return; // a link to a folder, pipe or device; one that leads nowhere is reported

        const QString escape = PatientFolderLinks::EscapeOf(path, patientFolder);
        if (escape.isEmpty())
            entries << entry;
        else
            m_context.log.writeLog(PatientFolderLinks::SkipLine(path, patientFolder, escape));
    });
    return entries;
}

int PatientRecreation::RetryDeferred() {
    int rebuilt = 0;
    const std::map<QString, Deferred> waiting = m_deferred;
    for (const auto& [patientId, deferred] : waiting) {
        try {
            if (RecreatePatient(patientId, deferred.force, deferred.show).heldBy.isEmpty())
                ++rebuilt;
        } catch (const std::exception& error) {
            m_deferred.erase(patientId);
            m_context.log.writeError(QLatin1String(LogPrefix::kApplication) + describeError(error));
        }
    }
    return rebuilt;
}

// A document stored in a patient's archive belongs to that folder unless its patient has a
// folder of its own elsewhere (a copy of a folder holds the documents of the original, which
// stay the original's). A folder whose patient's own folder is gone (renamed) keeps them.
bool PatientRecreation::belongsHere(const TXMLDocument& document, bool events, const QString& path,
                                    const QString& folder) {
    QString received;
    try {
        if (events) {
            received = XMLTarvoEventsFromFileParser::GetTarvo(document)
                           .Get_Events()
                           .Get_Patient()
                           .Get_PatientID();
        } else {
            const XMLTarvoParser::TXMLTarvo root = XMLTarvoParser::GetTarvo(document);
            if (root.Count() == 0)
                return true;
            received = root[0].Get_Patient().Get_PatientID();
        }
    } catch (const std::exception&) {
        return true; // reading the document says what is wrong with it
    }
    const Owner& owner = ownerOf(received, folder);
    if (owner.otherFolder.isEmpty())
        return true;
    m_context.log.writeLog(QStringLiteral("Archived document ") + QDir::toNativeSeparators(path) +
                           QStringLiteral(" is for patient ") + owner.id + QStringLiteral(" of ") +
                           QDir::toNativeSeparators(owner.otherFolder) +
                           QStringLiteral(", not for the folder being rebuilt, ") +
                           QDir::toNativeSeparators(folder) + QStringLiteral("; skipped"));
    return false;
}

const PatientRecreation::Owner& PatientRecreation::ownerOf(const QString& received,
                                                           const QString& folder) {
    if (m_lastOwner && m_lastOwner->received == received && m_lastOwner->folder == folder)
        return *m_lastOwner;
    const CollectorState& state = m_context.state;
    Owner owner{received, folder, {}, {}};
    owner.id =
        PatientIdentity::Clean(received, PatientIdentity::Cleaning::Admission, state.idReduction);
    if (owner.id != QLatin1String(PatientIdentity::kNull)) {
        try {
            const QString own =
                PatientIdentity::PatientFolderFor(owner.id, state.dataRoot, state.idReduction);
            if (own != folder && QFileInfo(own).isDir())
                owner.otherFolder = own;
        } catch (const std::exception&) {
        }
    }
    m_lastOwner = std::move(owner);
    return *m_lastOwner;
}

int PatientRecreation::ResumeInterruptedRebuilds() {
    const CollectorState& state = m_context.state;
    int resumed = 0;
    for (const QString& name : RebuiltDataFile::InterruptedIn(state.dataRoot)) {
        const QString folder = state.dataRoot + name + QDir::separator();
        {
            // A rebuild that another collector is doing now was not interrupted.
            PatientFileLock probe(folder);
            if (!probe.tryLock())
                continue;
        }
        m_context.log.writeLog(QStringLiteral("The last rebuild of the data file in ") + folder +
                               QStringLiteral(" was interrupted"));
        QString target;
        try {
            target = PatientIdentity::PatientFolderFor(name, state.dataRoot, state.idReduction);
        } catch (const std::exception&) {
        }
        if (target != folder) {
            m_context.log.writeLog(QStringLiteral("  the folder names no patient under the "
                                                  "current settings; its data file is left as "
                                                  "it is"));
            continue;
        }
        m_context.log.writeLog(QStringLiteral("  rebuilding ") + name + QStringLiteral(" again"));
        try {
            RecreatePatient(name, true, false);
            ++resumed;
        } catch (const std::exception& error) {
            m_context.log.writeError(QLatin1String(LogPrefix::kApplication) + describeError(error));
        }
    }
    return resumed;
}

void PatientRecreation::replay(const QString& path, bool force, bool show,
                               RecreationOutcome& outcome) {
    const CollectorState& state = m_context.state;
    TXMLDocument document;
    try {
        document.LoadFromFile(path);
        const bool events = DocumentContains(QStringLiteral("<Events>"), document);
        if (!belongsHere(document, events, path, m_context.processor.Progress().rebuildFolder())) {
            ++outcome.skipped;
            return;
        }
        if (events) {
            EventsFile events(m_context.writer, state, m_context.processor.Progress(),
                              m_context.log, m_context.clock, &m_context.processor);
            events.ReadEvents(XMLTarvoEventsFromFileParser::GetTarvo(document).Get_Events());
        } else {
            const bool hasAttemptNumbers =
                DocumentContains(QStringLiteral("<AttemptNo>"), document);
            PatientDataDocumentReader reader(m_context.processor, state, m_context.log,
                                             m_context.clock);
            reader.ReadPatientDataDocument(m_context.writer, XMLTarvoParser::GetTarvo(document),
                                           force, hasAttemptNumbers, show);
        }
    } catch (const EXmlFileUnreadable& error) {
        // One unreadable file must not cost the patient the documents listed after it.
        ++outcome.skipped;
        m_context.log.writeLog(QStringLiteral("Archived document cannot be read, skipped: ") +
                               describeError(error));
    } catch (const std::exception& error) {
        ++outcome.skipped;
        m_context.log.writeLog(QStringLiteral("Archived document skipped: ") +
                               QDir::toNativeSeparators(path) + QStringLiteral(" (") +
                               describeError(error) + u')');
    }
}
