#include "MessageDispatcher.h"

#include <QElapsedTimer>

#include "CollectionControl.h"
#include "CollectorState.h"
#include "DecimalSeparator.h"
#include "EventLog.h"
#include "EventsFile.h"
#include "LinkStatus.h"
#include "PatientIdentity.h"
#include "PseudoPatients.h"
#include "ResultProcessor.h"
#include "TSockets.h"
#include "TarvoError.h"
#include "XMLTarvoEventsParser.h"
#include "XMLTarvoLiveParser.h"
#include "XMLTarvoParser.h"

MessageDispatcher::MessageDispatcher(MessageDispatcherContext context, QObject* parent)
    : QObject(parent), m_context(std::move(context)),
      m_archive(m_context.state, m_context.processor.Progress(), m_context.log) {}

ProcessingProgress& MessageDispatcher::progress() {
    return m_context.processor.Progress();
}

QString MessageDispatcher::CollisionText() const {
    return QStringLiteral("Collisions = ") + QString::number(m_collisions);
}

QString MessageDispatcher::Dispatch(const QString& text, PendingText& pending,
                                    const QString& connectionIdentity) {
    const CollectorState& state = m_context.state;
    TTarvoSocket& record = m_context.records.FindOrAdd(connectionIdentity);
    progress().reachStep(7);
    AppendPreparedChunk(pending, text);
    progress().reachStep(8);
    QString output;
    QElapsedTimer turn;
    turn.start();
    int handled = 0;
    bool more = false;
    while (pending.FindCompleteMessage()) {
        if (handled > 0 && turn.elapsed() >= kTurnMs) {
            more = true; // the caller comes back for the rest
            break;
        }
        progress().reachStep(10);
        QString cut = pending.CutMessage();
        if (CollectsMessages())
            output += cut;
        ++handled;
        try {
            handleMessage(record, std::move(cut));
            DecimalSeparator::set(state.savedDecimalSeparator);
        } catch (const std::exception& error) {
            DecimalSeparator::set(state.savedDecimalSeparator);
            noteFailure(connectionIdentity, QString::number(progress().step()) +
                                                QStringLiteral("): ") + describeError(error));
        }
    }
    if (!more)
        endFailureRun(connectionIdentity);
    if (!m_waiting.empty() && !progress().processing() && !m_processingQueue) {
        try {
            processWaitingResults();
        } catch (const std::exception& error) {
            DecimalSeparator::set(state.savedDecimalSeparator);
            m_context.log.writeLog(QStringLiteral("Result not handled (") +
                                   QString::number(progress().step()) + QStringLiteral("): ") +
                                   describeError(error));
        }
    }
    return output;
}

void MessageDispatcher::noteFailure(const QString& connectionIdentity, const QString& detail) {
    ++m_failedMessages;
    FailureRun& run = m_failureRuns[connectionIdentity];
    if (++run.count <= kFailuresLoggedEach)
        m_context.log.writeLog(QStringLiteral("Message from ") + connectionIdentity +
                               QStringLiteral(" not handled (") + detail);
    else
        run.last = detail;
}

void MessageDispatcher::endFailureRun(const QString& connectionIdentity) {
    const auto run = m_failureRuns.constFind(connectionIdentity);
    if (run == m_failureRuns.cend())
        return;
    if (run->count > kFailuresLoggedEach)
        m_context.log.writeLog(QStringLiteral("%1 more messages from %2 not handled; the last (%3")
                                   .arg(run->count - kFailuresLoggedEach)
                                   .arg(connectionIdentity, run->last));
    m_failureRuns.erase(run);
}

void MessageDispatcher::handleMessage(TTarvoSocket& record, QString cut) {
    progress().reachStep(2010);
    m_document.Deactivate();
    progress().reachStep(2011);
    QString message = PrepareMessage(std::move(cut));
    progress().reachStep(2012);
    progress().reachStep(11);
    const TMessageType type = TTarvoSocket::ClassifyMessage(message);
    emit messageCut(record.RemoteAddress(), type, message);
    progress().reachStep(111);
    m_document.LoadFromText(message);
    progress().reachStep(112);
    progress().reachStep(113);
    // The schema bindings are views on the loaded document, taken by each action below.
    progress().reachStep(12);
    if (m_context.linkStatus.connectionLabel() != QLatin1String(kIncomingData))
        m_context.linkStatus.setConnectionLabel(QLatin1String(kIncomingData));
    progress().reachStep(13);
    applyActivity(type);
    progress().reachStep(16);
    progress().noteDataReceived();
    progress().reachStep(17);
    switch (type) {
    case TMessageType::mtTarvoData:
    case TMessageType::mtTarvoFlexData:
        patientData(record, message);
        break;
    case TMessageType::mtXMLTarvoLiveData:
        liveMeasurement(record);
        break;
    case TMessageType::mtXMLTarvoAdmission:
        admissionEvents(record);
        break;
    case TMessageType::mtXMLTarvoAutoControl:
        autoControl(record);
        break;
    case TMessageType::mtUnknown:
        logUnrecognised(record);
        break;
    }
    emit messageHandled(record.RemoteAddress(), type);
}

void MessageDispatcher::logUnrecognised(const TTarvoSocket& record) {
    ++m_unrecognised;
    // The root element tells the engineer what arrived (another schema, another namespace).
    const pugi::xml_node root = m_document.DocumentElement();
    QString element = QString::fromUtf8(root.name());
    const QString ns = QString::fromUtf8(root.attribute("xmlns").value());
    if (!ns.isEmpty())
        element += QStringLiteral(" xmlns=\"") + ns + u'"';
    for (QChar& c : element) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u'?';
    }
    if (element.size() > 200)
        element = element.left(200) + QStringLiteral("...");
    m_context.log.writeLog(QStringLiteral("Message from ") + record.RemoteAddress() +
                           QStringLiteral(" not recognised, ignored: root element <") + element +
                           u'>');
}

void MessageDispatcher::applyActivity(TMessageType type) {
    const CollectorState& state = m_context.state;
    progress().reachStep(14);
    if (type == TMessageType::mtXMLTarvoAutoControl)
        return;
    progress().reachStep(15);
    if (type != TMessageType::mtXMLTarvoLiveData) {
        m_context.control.linkPresent();
        return;
    }
    const QString connection = XMLTarvoLiveParser::GetTarvo(m_document).Get_Connection();
    if (connection == QLatin1String("Open")) {
        m_context.control.linkPresent();
    } else if (connection == QLatin1String("Closed")) {
        if (state.collection == CollectionState::Ready)
            m_context.control.setCollectionState(CollectionState::Offline);
        else if (state.collection == CollectionState::Collecting)
            m_context.control.setCollectionState(CollectionState::CollectingOffline);
    }
}

void MessageDispatcher::patientData(TTarvoSocket& record, const QString& message) {
    const CollectorState& state = m_context.state;
    const XMLTarvoParser::TXMLTarvo root = XMLTarvoParser::GetTarvo(m_document);
    if (root.Count() == 0)
        return;
    const XmlArchive::AdmissionKeys keys = XmlArchive::KeysOf(root[0].Element());
    record.PatientID = keys.patientId;
    if (namesPseudoPatient(record, keys.patientId))
        return;
    if (!m_context.processor.AdmitPatient(record.Saver(), record.PatientID, keys.firstName,
                                          keys.lastName)) {
        // Archiving it would put it into the folder of whichever patient came before.
        m_context.log.writeLog(QStringLiteral("Patient data from ") + record.RemoteAddress() +
                               QStringLiteral(" names no usable patient (\"") + record.PatientID +
                               QStringLiteral("\"); the document was not archived"));
        return;
    }
    record.PatientID = progress().currentPatient().id;
    const QString& uniqueId = keys.uniqueId;
    const QString name = XmlArchive::ArchiveNameFor(uniqueId, progress().currentPatient().id +
                                                                  u'|' + keys.admissionDate);
    if (name != uniqueId)
        m_context.log.writeLog(QStringLiteral("Admission UniqueID \"") + uniqueId +
                               QStringLiteral("\" cannot name an archive file; archived as ") +
                               name + QStringLiteral(".xml"));
    m_archive.Store(m_document, name);
    if (state.duplicateXmlFiles)
        m_archive.Duplicate(message, name);
    if (state.collection == CollectionState::Collecting && m_context.requestRebuild)
        m_context.requestRebuild(progress().currentPatient().id);
}

// The collector keeps the results of its pseudo-patients itself; a rebuild from an archive
// would replace them by whatever the document holds.
bool MessageDispatcher::namesPseudoPatient(const TTarvoSocket& record, const QString& patientId) {
    const CollectorState& state = m_context.state;
    const QString cleaned =
        PatientIdentity::Clean(patientId, PatientIdentity::Cleaning::Admission, state.idReduction);
    if (cleaned == QLatin1String(PatientIdentity::kNull))
        return false;
    const QString folder =
        PatientIdentity::PatientFolderFor(cleaned, state.dataRoot, state.idReduction);
    if (!PseudoPatients::IsCollectorsOwn(patientId, cleaned, folder))
        return false;
    m_context.log.writeLog(QStringLiteral("Patient data from ") + record.RemoteAddress() +
                           QStringLiteral(" for \"") + patientId +
                           QStringLiteral("\" refused: the collector keeps the results of that "
                                          "patient itself; the document was not archived"));
    return true;
}

// What a live measurement and an automatic control have in common, read the same way.
template <typename Sample>
MessageDispatcher::LiveResult MessageDispatcher::resultOf(const Sample& sample,
                                                          TTarvoSocket& record,
                                                          const QString& patientId, bool control) {
    LiveResult result;
    result.record = &record;
    result.patientId = patientId;
    result.control = control;
    result.attemptNo = sample.Get_AttemptNo();
    result.statusText = sample.Get_Status();
    result.timeText = sample.Get_Time();
    result.unit = sample.Get_Unit();
    result.value = sample.Get_Concentration();
    result.parameterName = sample.Get_Analyte();
    return result;
}

void MessageDispatcher::liveMeasurement(TTarvoSocket& record) {
    const XMLTarvoLiveParser::TXMLMDMeasurement md =
        XMLTarvoLiveParser::GetTarvo(m_document).Get_MDMeasurement();
    const XMLTarvoLiveParser::TXMLPatientType patient = md.Get_Patient();
    const QString patientId = patient.Get_PatientID();
    if (patientId.isEmpty())
        return;
    progress().reachStep(18);
    m_context.control.linkPresent();
    record.PatientID = patientId;
    DecimalSeparator::set(u'.');
    LiveResult result = resultOf(md, record, patientId, false);
    result.vialId = md.Get_VialID();
    result.place = md.Get_CatheterLocation();
    result.lastName = patient.Get_LastName();
    result.firstName = patient.Get_FirstName();
    enqueue(std::move(result));
}

void MessageDispatcher::autoControl(TTarvoSocket& record) {
    const XMLTarvoLiveParser::TXMLAutoControl ac =
        XMLTarvoLiveParser::GetTarvo(m_document).Get_AutoControl();
    if (ac.Get_Analyte().isEmpty())
        return;
    progress().reachStep(18);
    m_context.control.linkPresent();
    record.PatientID = QLatin1String(kAutoControlPatient);
    DecimalSeparator::set(u'.');
    LiveResult result = resultOf(ac, record, QLatin1String(kAutoControlPatient), true);
    result.place = ac.Get_AutoControlSampleType() == QLatin1String("AutoControlLow")
                       ? QStringLiteral("Low")
                       : QStringLiteral("Elevated");
    enqueue(std::move(result));
}

void MessageDispatcher::admissionEvents(TTarvoSocket& record) {
    EventsFile events(record.Saver(), m_context.state, progress(), m_context.log, m_context.clock,
                      &m_context.processor);
    m_context.processor.SetAnalyzer(record.RemoteAddress());
    events.ReadEvents(XMLTarvoEventsParser::GetTarvo(m_document).Get_Admission());
}

void MessageDispatcher::enqueue(LiveResult result) {
    progress().reachStep(19);
    m_waiting.push_back(std::move(result));
    if (progress().processing() || m_processingQueue) {
        // An earlier result is still on its way to the file; this one follows it.
        ++m_collisions;
        emit collisionsChanged();
        return;
    }
    progress().reachStep(20);
    processWaitingResults();
}

void MessageDispatcher::processWaitingResults() {
    const CollectorState& state = m_context.state;
    m_processingQueue = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{m_processingQueue};
    while (!m_waiting.empty()) {
        const LiveResult result = std::move(m_waiting.front());
        m_waiting.pop_front();
        DecimalSeparator::set(u'.');
        m_context.processor.SetAnalyzer(result.record->RemoteAddress());
        m_context.processor.ProcessResult(
            result.record->Saver(), result.patientId, result.control, result.attemptNo,
            result.vialId, result.statusText, result.timeText, result.unit, result.value,
            result.parameterName, result.place, result.lastName, result.firstName);
        DecimalSeparator::set(state.savedDecimalSeparator);
    }
}
