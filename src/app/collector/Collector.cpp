#include "Collector.h"

#include <QCoreApplication>
#include <QLocale>

#include "Clock.h"
#include "DataPathResolver.h"
#include "DecimalSeparator.h"
#include "ExternalMediaDrive.h"
#include "FolderCreation.h"
#include "HostSettings.h"
#include "LogPrefixes.h"
#include "OperatorMessages.h"
#include "TarvoError.h"

Collector::Collector(CollectorEnvironment environment, QObject* parent)
    : QObject(parent), m_env(std::move(environment)),
      m_clock(m_env.clock ? *m_env.clock : SystemClock::instance()),
      m_hives(m_env.layout.currentUserHiveFile, m_env.layout.localMachineHiveFile),
      m_settings(std::make_unique<SettingsStore>(m_hives, RegistryRoot::LocalMachine)),
      m_log(m_clock), m_orvanta(m_log), m_dumpCounter(std::make_unique<TSimpleCounter>(20)),
      m_framing(std::make_unique<FramingDispatcher>(m_records)), m_dispatcher(m_framing.get()),
      m_linkStatus(m_log, [this] { return captionFacts(); }),
      m_server(std::make_unique<ServerSocketTarvo>(static_cast<AnalyzerLinkHost&>(*this))),
      m_serial(std::make_unique<SerialLink>(static_cast<AnalyzerLinkHost&>(*this))),
      m_peerGate(m_log, m_clock), m_dataHost(m_log),
      m_dataClient(std::make_unique<DataClient>(static_cast<AnalyzerLinkHost&>(*this), m_clock,
                                                [this] { return dataClientTarget(); })),
      m_monitor(std::make_unique<FolderMonitor>(
          FolderMonitorContext{m_log, m_clock, m_env.timers ? *m_env.timers : TimerSource::system(),
                               [this](const QString& patientId) {
                                   recreateMonitoredPatient(patientId);
                               }})) {
    m_server->SetPeerGate(&m_peerGate);
    m_dataHost.SetPeerGate(&m_peerGate);
    connect(&m_dataHost, &DataHostServer::stationsChanged, this,
            [this](const QString& leaving) { rebuildConnectionList(leaving); });
    connect(m_monitor.get(), &FolderMonitor::monitoringTextChanged, this,
            &Collector::monitoringTextChanged);
    connect(m_monitor.get(), &FolderMonitor::updateTextChanged, this,
            &Collector::updateTextChanged);
}

Collector::~Collector() {
    m_hives.setFailureReporter({}); // the event log goes before the hives
}

void Collector::handleApplicationError(const QString& message) {
    const QString line = QLatin1String(LogPrefix::kApplication) + message;
    m_log.writeError(line);
    if (m_startingUp && m_env.startupErrorEcho)
        m_env.startupErrorEcho(line);
}

void Collector::close() {
    if (m_closed)
        return;
    m_closed = true;
    m_log.writeLog(QStringLiteral("Closing application"));
    m_housekeeping.stop();
    // Nothing that has arrived is lost: every complete message is handled, and the patients
    // whose documents were archived are rebuilt, before the program ends.
    m_server->Shutdown();
    m_serial->RS232PortTriggerAvail();
    m_serial->close();
    m_dataClient->Close();
    m_dataHostWanted = false;
    m_dataHost.Deactivate();
    const QList<QString> waiting(m_rebuildsWaiting.begin(), m_rebuildsWaiting.end());
    for (const QString& patientId : waiting)
        rebuildWaitingPatient(patientId);
    // Folder monitoring rebuilds the bursts still in their delay before it stops watching.
    m_monitor->Close();
    // Record lines read by the stop are parsed, stored and queued for the relay before the end.
    if (m_relay)
        m_relay->LinesWaiting(m_lineBatches);
    qsizetype discarded = 0;
    for (const LineBatch& batch : m_lineBatches)
        discarded += batch.lines.count(QString(QChar(LineFraming::kEot)));
    if (discarded > 0)
        m_log.writeLog(
            QStringLiteral("%1 record-line messages were discarded at closing").arg(discarded));
    m_lineBatches.clear();
    if (m_relay)
        m_relay->Transport().StopSendTimer();
    // Patients added in the last turn of the event loop reach the registry before the end.
    if (m_registry)
        m_registry->FlushAtClose();
    m_log.flushRepeats();
}

void Collector::useRelaySettings(const RelaySettings& relay) {
    m_state.relayHost = relay.host;
    m_state.relayPort = relay.port;
    m_state.filter194 = relay.filter194;
    m_state.relayTimeoutSeconds = relay.timeoutSeconds;
    m_state.relayEnabled = relay.enabled;
    m_state.includeChecksum = relay.includeChecksum;
    if (m_relay)
        m_relay->Queue().IncludeChecksum = relay.includeChecksum;
}

bool Collector::useProtocol(AnalyzerProtocol protocol) {
    if (protocol == m_state.protocol)
        return false;
    m_state.protocol = protocol;
    if (m_relay)
        m_relay->Transport().Reconnect();
    return true;
}

void Collector::useDuplicates(bool enabled, const QString& location) {
    m_state.duplicateXmlFiles = enabled;
    m_state.duplicateLocation =
        location.isEmpty() ? QString() : withTrailingSeparator(m_env.layout.nativePath(location));
}

void Collector::usePatientCreation(bool autoCreate, IdReduction reduction) {
    m_state.autoCreate = autoCreate;
    m_state.idReduction = reduction;
}

void Collector::useAnalyzerPort(int port) {
    m_state.analyzerPort = port;
    try {
        m_server->Deactivate();
        m_server->SetPort(port);
        m_server->Activate();
    } catch (const std::exception& error) {
        // The server stays inactive; the housekeeping timer activates it once the port is free.
        m_log.writeError(QLatin1String(LogPrefix::kPortChange) +
                         QLatin1String(HostSettings::kPortChangeFailure) + QStringLiteral(" (") +
                         describeError(error) + u')');
    }
}

void Collector::setNetworkRole(NetworkRole role) {
    m_state.networkRole = role;
}

void Collector::setBusy(bool busy) {
    if (m_control)
        m_control->setBusy(busy);
    if (!busy) {
        m_server->ResumeReading();
        m_serial->resumeReading();
        m_dataClient->ResumeReading();
    }
}

namespace {
// Asks for one patient's data file to be rebuilt from its archive.
class RebuildPatientEvent : public QEvent {
public:
    explicit RebuildPatientEvent(QString patientId)
        : QEvent(Collector::kRebuildPatientEvent), patientId(std::move(patientId)) {}
    const QString patientId;
};

} // namespace

bool Collector::event(QEvent* event) {
    if (event->type() == kLinesWaitingEvent) {
        emit linesWaiting();
        if (m_relay && !m_closed)
            m_relay->LinesWaiting(m_lineBatches);
        return true;
    }
    if (event->type() == kRebuildPatientEvent) {
        rebuildWaitingPatient(static_cast<RebuildPatientEvent*>(event)->patientId);
        return true;
    }
    return QObject::event(event);
}

void Collector::requestRebuild(const QString& patientId) {
    // A burst of documents for one patient costs one rebuild: it reads the archive as it is
    // when it runs.
    if (m_rebuildsWaiting.contains(patientId))
        return;
    m_rebuildsWaiting.insert(patientId);
    QCoreApplication::postEvent(this, new RebuildPatientEvent(patientId));
}

void Collector::rebuildWaitingPatient(const QString& patientId) {
    // A request that closing has already carried out finds nothing to do.
    if (!m_rebuildsWaiting.remove(patientId) || !m_recreation)
        return;
    // A rebuild for a patient that is not collected would only empty its data file.
    const int entry = m_patients.IndexOf(patientId);
    if (entry < 0 || !m_patients.At(entry).Checked) {
        m_log.writeLog(QStringLiteral("Data for ") + patientId +
                       QStringLiteral(" archived; the patient is not collected, so its data file "
                                      "is left as it is"));
        return;
    }
    try {
        ++m_rebuildsDone;
        m_recreation->RecreatePatient(patientId, false, false);
    } catch (const std::exception& error) {
        handleApplicationError(describeError(error));
    }
}

RecreationOutcome Collector::recreatePatientData(const QString& patientId) {
    m_control->endAutoHide();
    return m_recreation->RecreatePatient(patientId, true, true);
}

QString Collector::externalMediaRoot() const {
    return ExternalMediaDrive::SourceRoot(m_state.externalMediaDrive, m_env.layout);
}

ImportOutcome Collector::importFromExternalMedia(const QString& patientId) {
    ExternalMediaImport import(m_state, m_log, m_env.messages);
    return import.Import(patientId, externalMediaRoot());
}

bool Collector::setExternalMediaDrive(const QString& answer) {
    const QString value = ExternalMediaDrive::AcceptAnswer(answer);
    if (value.isEmpty())
        return false;
    m_settings->change(Setting::ExternalMediaDrive, value);
    m_state.externalMediaDrive = value;
    m_state.externalMediaMenuCaption = ExternalMediaDrive::MenuCaption(value);
    return true;
}

PatientFolderListing Collector::patientsWithArchive() const {
    return PatientFolders::WithArchive(m_state.dataRoot);
}

PatientFolderListing Collector::patientsOnExternalMedia() const {
    return PatientFolders::OnMedia(externalMediaRoot());
}

RelayConnectionState Collector::relayConnection() const {
    return m_relay ? m_relay->Transport().Connection() : RelayConnectionState::Disconnected;
}

CaptionFacts Collector::captionFacts() const {
    CaptionFacts facts;
    facts.version = QStringLiteral(TARVO_VERSION);
    facts.role = m_state.networkRole;
    facts.analyzerPort = m_server->Port();
    facts.protocol = m_state.protocol;
    facts.relayEnabled = m_state.relayEnabled;
    facts.relayState = relayConnection();
    facts.relayHostSetting = m_state.relayHost;
    facts.relayPortSetting = m_state.relayPort;
    facts.dataHostName = m_dataClient->PeerHostName();
    facts.dataHostAddress = m_dataClient->PeerAddress();
    if (m_relay) {
        facts.relayHostName = m_relay->Transport().PeerName();
        facts.relayAddress = m_relay->Transport().PeerAddress();
        facts.relayPort = m_relay->Transport().PeerPort();
    }
    return facts;
}

void Collector::rebuildConnectionList(const QString& excludedAddress) {
    m_connectionList.rebuild(m_server->ConnectionAddresses(), m_dataHost.StationAddresses(),
                             excludedAddress);
}

void Collector::switchInterNetworkingOff() {
    // Written only when it changes: analyzers may connect many times a second.
    if (m_settings->read(Setting::InterNetworking))
        m_settings->change(Setting::InterNetworking, false);
    m_dataClient->Close();
}

void Collector::linesQueued(LineBatch batch) {
    if (!batch.lines.isEmpty() || batch.closed)
        m_lineBatches.push_back(std::move(batch));
    QCoreApplication::postEvent(this, new QEvent(kLinesWaitingEvent));
}

void Collector::pauseHousekeeping(bool paused) {
    // The housekeeping timer of collection control reads this count.
    m_housekeepingPauses += paused ? 1 : -1;
}

void Collector::startFolderMonitoring() {
    m_monitor->FirstShowing({m_state.dataRoot, m_state.monitorNetworkLocation,
                             m_settings->read(Setting::MonitorPollSeconds),
                             m_settings->read(Setting::MonitorNotifications)});
}

void Collector::monitoringSwitched(bool rebuildAll) {
    m_state.monitorNetworkLocation = m_settings->read(Setting::MonitorNetworkLocation);
    m_monitor->MonitoringSwitched(m_state.monitorNetworkLocation, rebuildAll);
}

void Collector::recreateMonitoredPatient(const QString& patientId) {
    if (!m_recreation)
        return;
    m_control->endAutoHide();
    try {
        ++m_rebuildsDone;
        m_recreation->RecreatePatient(patientId, true, false);
    } catch (const std::exception& error) {
        handleApplicationError(describeError(error));
    }
}

bool Collector::switchSettingsRoot(RegistryRoot root) {
    const auto rootName = [](RegistryRoot r) {
        return r == RegistryRoot::LocalMachine ? QStringLiteral("LOCAL_MACHINE")
                                               : QStringLiteral("CURRENT_USER");
    };
    // Every value in use goes along (the peers admitted, the data-host port, the patient list,
    // the media drive, ...), so that the next start under the new root runs as this one does.
    const int copied = m_settings->copyTo(root);
    if (copied < 0) {
        m_log.writeLog(QStringLiteral("Settings origin stays ") + rootName(m_state.settingsRoot) +
                       QStringLiteral(": the settings could not be copied to ") + rootName(root));
        return false;
    }
    m_log.writeLog(QStringLiteral("Settings origin ") + rootName(m_state.settingsRoot) +
                   QStringLiteral(" changed to ") + rootName(root) + QStringLiteral(": ") +
                   QString::number(copied) + QStringLiteral(" values copied"));
    SettingsStore machine(m_hives, RegistryRoot::LocalMachine);
    machine.setChangeLog([this](const QString& line) { m_log.writeLog(line); });
    machine.change(Setting::HKEY,
                   QLatin1String(root == RegistryRoot::LocalMachine ? Setting::kLocalMachineChoice
                                                                    : Setting::kCurrentUserChoice));
    m_state.settingsRoot = root;
    // The store is shared (the patient registry holds it), so it changes root in place.
    m_settings->setRoot(root);
    return true;
}

void Collector::closeDataClient() {
    m_dataClient->Close();
}

void Collector::forwardToDataClients(const QString& messages) {
    m_dataHost.Forward(messages);
}

bool Collector::forwardsToDataClients() const {
    return m_dataHost.StationCount() > 0;
}

void Collector::relayPassThrough(const QByteArray& chunk) {
    if (m_relay)
        m_relay->Transport().PassThrough(chunk);
}

void Collector::reportApplicationError(const QString& message) {
    handleApplicationError(message);
}
