#include "PatientRecreation.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include "CollectorState.h"
#include "EventLog.h"
#include "EventsFile.h"
#include "InstallationLayout.h"
#include "LogPrefixes.h"
#include "MoveAsideFile.h"
#include "OrvantaLink.h"
#include "PatientDataDocumentReader.h"
#include "PatientDataFile.h"
#include "PatientFolderLinks.h"
#include "PatientIdentity.h"
#include "RebuiltDataFile.h"
#include "TSaveItNew.h"
#include "TXMLDocument.h"
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

RecreationOutcome PatientRecreation::RecreatePatient(const QString& patientId, bool force,
                                                     bool show) {
    CollectorState& state = m_context.state;
    RecreationOutcome outcome;
    outcome.folder =
        PatientIdentity::PatientFolderFor(patientId, state.dataRoot, state.idReduction);
    const QString dataFile = outcome.folder + QLatin1String(kPatientDataFileName);
    const QString rebuilt = RebuiltDataFile::NameFor(dataFile);
    // Something other than a file in the data file's place holds no results and goes first; a
    // rebuilt file left by an earlier rebuild is begun anew.
    const QFileInfo current(dataFile);
    const bool noFileInPlace = (current.exists() || current.isSymLink()) && !current.isFile();
    if ((noFileInPlace && !MoveAsideFile(dataFile, true)) || !MoveAsideFile(rebuilt, true)) {
        m_context.log.writeLog(QStringLiteral("Unable to recreate data for ") + outcome.folder);
        return outcome;
    }
    outcome.started = true;
    // What the writer knew of the files is of no use any more.
    TSaveItNew& writer = m_context.writer;
    writer.ClearLoadCache();

    const QDir archive(outcome.folder + QLatin1String(XmlArchive::kFolderName));
    const QStringList entries = readableEntries(outcome.folder, archive);
    QElapsedTimer elapsed;
    elapsed.start();
    if (!entries.isEmpty()) {
        m_context.log.writeLog(QStringLiteral("Recreating data for ") + patientId +
                               QStringLiteral(" from ") + QString::number(entries.size()) +
                               QStringLiteral(" archived documents"));
        // The data file stays as it is while its successor is built beside it.
        writer.SetStandIn(dataFile, rebuilt);
        try {
            for (const QString& entry : entries) {
                ++outcome.documents;
                replay(archive.filePath(entry), force, show, outcome);
            }
        } catch (...) {
            writer.ClearStandIn();
            writer.ClearLoadCache();
            QFile::remove(rebuilt);
            throw;
        }
        writer.ClearStandIn();
        writer.ClearLoadCache();
    }

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
    if (entries.isEmpty())
        return outcome;
    m_context.log.writeLog(recreationSummary(patientId, outcome) + QStringLiteral(", ") +
                           QString::number(elapsed.elapsed()) + QStringLiteral(" ms"));
    m_context.orvanta.notifyUpdate();
    return outcome;
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
    QStringList entries;
    for (const QString& entry :
         archive.entryList({QStringLiteral("*.xml")}, QDir::Files | QDir::Hidden | QDir::System,
                           QDir::Unsorted)) {
        const QString path = archive.filePath(entry);
        const QString escape = PatientFolderLinks::EscapeOf(path, patientFolder);
        if (escape.isEmpty())
            entries << entry;
        else
            m_context.log.writeLog(PatientFolderLinks::SkipLine(path, patientFolder, escape));
    }
    return entries;
}

int PatientRecreation::ResumeInterruptedRebuilds() {
    const CollectorState& state = m_context.state;
    int resumed = 0;
    for (const QString& name : RebuiltDataFile::InterruptedIn(state.dataRoot)) {
        const QString folder = state.dataRoot + name + QDir::separator();
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
            m_context.log.writeError(QLatin1String(LogPrefix::kApplication) +
                                     QString::fromLocal8Bit(error.what()));
        }
    }
    return resumed;
}

void PatientRecreation::replay(const QString& path, bool force, bool show,
                               RecreationOutcome& outcome) {
    CollectorState& state = m_context.state;
    TXMLDocument document;
    try {
        document.LoadFromFile(path);
        if (DocumentContains(QStringLiteral("<Events>"), document)) {
            EventsFile events(m_context.writer, state, m_context.log, m_context.clock);
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
                               QString::fromLocal8Bit(error.what()));
    } catch (const std::exception& error) {
        ++outcome.skipped;
        m_context.log.writeLog(QStringLiteral("Archived document skipped: ") +
                               QDir::toNativeSeparators(path) + QStringLiteral(" (") +
                               QString::fromLocal8Bit(error.what()) + u')');
    }
}
