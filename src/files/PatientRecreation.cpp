#include "PatientRecreation.h"

#include <QDir>
#include <QElapsedTimer>

#include "CollectorState.h"
#include "EventLog.h"
#include "EventsFile.h"
#include "InstallationLayout.h"
#include "MoveAsideFile.h"
#include "OrvantaLink.h"
#include "PatientDataDocumentReader.h"
#include "PatientDataFile.h"
#include "PatientIdentity.h"
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
    if (!MoveAsideFile(dataFile, true)) {
        m_context.log.writeLog(QStringLiteral("Unable to recreate data for ") + outcome.folder);
        return outcome;
    }
    outcome.started = true;
    // What the writer knew of the removed file is of no use any more.
    m_context.writer.ClearLoadCache();

    const QDir archive(outcome.folder + QLatin1String(XmlArchive::kFolderName));
    const QStringList entries = archive.entryList(
        {QStringLiteral("*.xml")}, QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    if (entries.isEmpty())
        return outcome;
    m_context.log.writeLog(QStringLiteral("Recreating data for ") + patientId +
                           QStringLiteral(" from ") + QString::number(entries.size()) +
                           QStringLiteral(" archived documents"));
    QElapsedTimer elapsed;
    elapsed.start();
    for (const QString& entry : entries) {
        ++outcome.documents;
        replay(archive.filePath(entry), force, show, outcome);
    }
    m_context.writer.ClearLoadCache();
    m_context.log.writeLog(recreationSummary(patientId, outcome) + QStringLiteral(", ") +
                           QString::number(elapsed.elapsed()) + QStringLiteral(" ms"));
    m_context.orvanta.notifyUpdate();
    return outcome;
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
