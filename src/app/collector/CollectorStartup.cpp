// The collector's start-up sequence and the steps it runs, in the order operators know from
// the logs.
#include "Collector.h"

#include <QCoreApplication>
#include <QLocale>

#include "Clock.h"
#include "DataPathResolver.h"
#include "DecimalSeparator.h"
#include "ExternalMediaDrive.h"
#include "FolderCreation.h"
#include "OperatorMessages.h"
#include "TarvoError.h"

namespace {

constexpr auto kDefaultLogFolder = "C:\\TEMP\\";
constexpr auto kDataFolder = "DATA\\";

} // namespace

// The start-up sequence, in order; the order is the one operators know from the logs.
const std::vector<Collector::NamedStep>& Collector::startupSteps() {
    static const std::vector<NamedStep> steps = {
        {"choose settings root", &Collector::chooseSettingsRoot},
        {"open event log", &Collector::openEventLog},
        {"log opening", &Collector::logOpening},
        {"resolve data root", &Collector::resolveDataRoot},
        {"create shared queues", &Collector::createSharedQueues},
        {"set initial link state", &Collector::setInitialLinkState},
        {"read protocol", &Collector::readProtocol},
        {"read relay switches", &Collector::readRelaySwitches},
        {"create connection records", &Collector::createConnectionRecords},
        {"reset processing flags", &Collector::resetProcessingFlags},
        {"read UseTarvoSettings", &Collector::readUseTarvoSettings},
        {"read start-up switches", &Collector::readStartupSwitches},
        {"read data-client port", &Collector::readDataClientPort},
        {"set analyzer port", &Collector::setAnalyzerPort},
        {"read ID reduction", &Collector::readIdReduction},
        {"connect Orvanta", &Collector::connectOrvanta},
        {"create parameter catalogue", &Collector::createParameterCatalogue},
        {"sweep patient registry", &Collector::sweepPatientRegistry},
        {"auto-start collection", &Collector::autoStartCollection},
        {"resume interrupted rebuilds", &Collector::resumeInterruptedRebuilds},
        {"connect to data host", &Collector::connectToDataHost},
        {"update caption", &Collector::updateCaption},
        {"read relay host", &Collector::readRelayHost},
        {"apply relay connection", &Collector::applyRelayConnection},
        {"activate analyzer server", &Collector::activateAnalyzerServer},
        {"log start-up summary", &Collector::logStartupSummary},
        {"read external media drive", &Collector::readExternalMediaDrive},
    };
    return steps;
}

Collector::StartOutcome Collector::start() {
    m_startingUp = true;
    for (const NamedStep& step : startupSteps()) {
        try {
            (this->*step.step)();
        } catch (const std::exception& error) {
            handleApplicationError(describeError(error));
            break;
        }
        if (m_terminate) {
            m_startingUp = false;
            return StartOutcome::Terminate;
        }
    }
    // Without a window the housekeeping timer starts where the first showing would start it,
    // whatever start-up did: its ticks activate the analyzer server until it listens.
    // Folder monitoring starts there too.
    try {
        startHousekeeping();
        startFolderMonitoring();
    } catch (const std::exception& error) {
        handleApplicationError(describeError(error));
    }
    m_startingUp = false;
    return StartOutcome::Running;
}

void Collector::chooseSettingsRoot() {
    // A settings file that exists but cannot be read never turns into default settings: its last
    // good copy takes its place, and without one the collector does not start.
    const auto recover = [this](RegistryRoot root) {
        const RegistryHives::Recovery recovery = m_hives.recover(root);
        if (recovery.outcome == RegistryHives::Recovery::Outcome::Restored)
            m_settingsRecovery << QLatin1String(LogPrefix::kSettingsFile) + recovery.text;
        return recovery;
    };
    const auto refuse = [this](const RegistryHives::Recovery& recovery) {
        refuseToStart(recovery.text +
                      QStringLiteral(". TarvoCollect does not start with default settings; "
                                     "repair the file, put a good copy in its place, or "
                                     "remove it to start with the defaults."));
    };
    const RegistryHives::Recovery machine = recover(RegistryRoot::LocalMachine);
    if (machine.outcome == RegistryHives::Recovery::Outcome::Unreadable)
        return refuse(machine);
    m_state.settingsRoot = SettingsStore::chooseRoot(m_hives);
    const RegistryHives::Recovery user = recover(RegistryRoot::CurrentUser);
    if (user.outcome == RegistryHives::Recovery::Outcome::Unreadable) {
        if (m_state.settingsRoot == RegistryRoot::CurrentUser)
            return refuse(user);
        m_settingsRecovery << QLatin1String(LogPrefix::kSettingsFile) + user.text +
                                  QStringLiteral("; the settings of the local machine are used");
    }
    m_settings = std::make_unique<SettingsStore>(m_hives, m_state.settingsRoot);
}

void Collector::openEventLog() {
    QString folder = m_settings->read(Setting::DebugFolder);
    if (folder.isEmpty())
        folder = QLatin1String(kDefaultLogFolder);
    m_state.logFolder = m_env.layout.nativePath(folder);
    const QString failure = m_log.open(m_state.logFolder);
    if (!failure.isEmpty())
        m_log.writeError(QLatin1String(LogPrefix::kStartup) + failure);
    m_hives.setFailureReporter([this](const QString& line) { m_log.writeLog(line); });
    m_settings->setChangeLog([this](const QString& line) { m_log.writeLog(line); });
}

void Collector::logOpening() {
    m_log.writeLog(QString());
    m_log.writeLog(QStringLiteral("Opening application ") + m_env.executablePath);
    for (const QString& line : m_settingsRecovery)
        m_log.writeError(line);
}

void Collector::resolveDataRoot() {
    const DataPathResolver resolver(
        m_env.layout, m_hives, m_state.settingsRoot,
        [this](const QString& line, LogSeverity severity) { m_log.writeLog(line, severity); });
    m_state.dataRoot = resolver.resolve(QLatin1String(kDataFolder));
    if (!resolver.failure().isEmpty()) {
        refuseToStart(resolver.failure() +
                      QStringLiteral(". TarvoCollect does not start without its data root; "
                                     "repair the file, put a good copy in its place, or "
                                     "remove it."));
        return;
    }
    checkDataRoot();
}

void Collector::refuseToStart(const QString& text) {
    if (m_env.messages)
        m_env.messages->showMessage(text);
    else if (m_env.startupErrorEcho)
        m_env.startupErrorEcho(text);
    m_terminate = true;
    m_exitCode = kUnreadableSettingsExit;
}

void Collector::checkDataRoot() {
    const QString why = FolderCreation::whyNotUsable(m_state.dataRoot);
    const QString text = why.isEmpty()
                             ? QString()
                             : QStringLiteral("Not storing: the data root ") + m_state.dataRoot +
                                   QStringLiteral(" cannot be used (") + why + u')';
    if (text == m_state.notStoring)
        return;
    const bool was = !m_state.notStoring.isEmpty();
    m_state.notStoring = text;
    if (!text.isEmpty())
        m_log.writeLog(text + QStringLiteral("; every result is lost until it can"));
    else if (was)
        m_log.writeLog(QStringLiteral("Storing again: the data root ") + m_state.dataRoot +
                       QStringLiteral(" can be used"));
    emit storingChanged(text);
}

void Collector::createSharedQueues() {
    // The folder watcher list, the measurement points, the relay list and the acknowledgement
    // tracker join here with their subsystems.
    m_state.messageMaxValue = m_settings->read(Setting::MessageMaxValue);
    m_dumpCounter = std::make_unique<TSimpleCounter>(m_state.messageMaxValue);
    m_lineBatches.clear();
}

void Collector::setInitialLinkState() {
    m_state.savedDecimalSeparator = DecimalSeparator::system();
    DecimalSeparator::set(m_state.savedDecimalSeparator);
}

void Collector::readProtocol() {
    m_state.protocol = protocolFromSetting(m_settings->read(Setting::CommunicationProtocol));
}

void Collector::readRelaySwitches() {
    m_state.relayEnabled = m_settings->read(Setting::RelayDataToHost);
    m_state.includeChecksum = m_settings->read(Setting::IncludeChecksum);
}

void Collector::createConnectionRecords() {
    // The serial line's port, when the settings name one; a port that is not there yet is
    // opened by the main timer.
    m_serial->configure(SerialLineSettings::Read(
        *m_settings, [this](const QString& line) { m_log.writeLog(line); }));
    m_serial->open();
}

void Collector::resetProcessingFlags() {
    m_state.medianFilterLength = 15;
}

void Collector::readUseTarvoSettings() {
    m_state.useTarvoSettings = m_settings->read(Setting::UseTarvoSettings);
}

void Collector::readStartupSwitches() {
    m_state.autoHide = m_settings->read(Setting::AutoHide);
    m_state.autoStart = m_settings->read(Setting::AutoStart);
    m_state.autoCreate = m_settings->read(Setting::AutoCreate);
    m_state.noOrvanta = m_settings->read(Setting::NoOrvanta) ||
                        m_env.firstArgument.toUpper() == QLatin1String(kNoOrvantaSwitch);
    m_state.monitorNetworkLocation = m_settings->read(Setting::MonitorNetworkLocation);
    m_state.duplicateXmlFiles = m_settings->read(Setting::DuplicateXMLFiles);
    const QString duplicate = m_settings->read(Setting::DuplicateToNetworkLocation);
    m_state.duplicateLocation =
        duplicate.isEmpty() ? QString() : withTrailingSeparator(m_env.layout.nativePath(duplicate));
}

// An integer setting between lowest and highest; outside them its default, with the log line
// "The setting NAME = VALUE" + refusal + the default.
int Collector::readInRange(const Setting::Integer& setting, int lowest, int highest,
                           const QString& refusal) {
    const int value = m_settings->read(setting);
    if (value >= lowest && value <= highest)
        return value;
    m_log.writeError(QLatin1String(LogPrefix::kPortSetup) + QStringLiteral("The setting ") +
                     QLatin1String(setting.name) + QStringLiteral(" = ") + QString::number(value) +
                     refusal + QString::number(setting.defaultValue));
    return setting.defaultValue;
}

void Collector::readDataClientPort() {
    // The data-host server listens one below, so the lowest usable value is 2.
    m_state.dataClientPort =
        readInRange(Setting::ClientSocketPort, 2, ServerSocketTarvo::kHighestPort,
                    QStringLiteral(" is no port number (2 to 65535); using port "));
    m_state.dataHostServerPort = m_state.dataClientPort - 1;
    // Both servers admit peers by this list from before they listen.
    applyAllowedPeers();
}

void Collector::applyAllowedPeers() {
    // A value stored as a number reads as the empty text, which would admit everyone: it is an
    // unreadable entry instead. A number reads back the same whatever the default asked for.
    const QString name = QLatin1String(Setting::AllowedPeers.name);
    const int number = m_settings->readInteger(name, 0);
    if (number == m_settings->readInteger(name, 1))
        m_peerGate.setAllowed(
            AllowedPeers::unreadableValue(QStringLiteral("dword:") + QString::number(number)));
    else
        m_peerGate.setAllowed(m_settings->read(Setting::AllowedPeers));
}

void Collector::setAnalyzerPort() {
    m_server->SetConnectionLimit(readInRange(Setting::AnalyzerConnectionLimit, 1,
                                             ServerSocketTarvo::kHighestConnectionLimit,
                                             QStringLiteral(" is outside 1 to %1; using ")
                                                 .arg(ServerSocketTarvo::kHighestConnectionLimit)));
    m_state.analyzerPort =
        readInRange(Setting::Port, 1, ServerSocketTarvo::kHighestPort,
                    QStringLiteral(" is no port number (1 to 65535); using port "));
    try {
        if (m_state.analyzerPort != m_server->Port()) {
            m_server->Deactivate();
            m_server->SetPort(m_state.analyzerPort);
            m_server->Activate();
        }
    } catch (const std::exception& error) {
        m_log.writeError(QLatin1String(LogPrefix::kPortSetup) +
                         QStringLiteral("Error when trying to set IP port number") +
                         QStringLiteral(" (") + describeError(error) + u')');
    }
    // The data-host server opens whether or not the analyzer port could be used; when its port
    // is taken, the main timer tries again (reactivateDataHostServer).
    m_dataHostWanted = true;
    try {
        m_dataHost.SetPort(m_state.dataHostServerPort);
        m_dataHost.Activate();
    } catch (const std::exception& error) {
        m_log.writeError(QLatin1String(LogPrefix::kPortSetup) +
                         QStringLiteral("Error when trying to set IP port number") +
                         QStringLiteral(" (") + describeError(error) + u')');
    }
}

void Collector::readIdReduction() {
    m_state.idReduction = idReductionFrom(m_settings->read(Setting::IDReduction));
}

void Collector::connectOrvanta() {
    if (m_state.noOrvanta) {
        m_orvanta.detach();
        m_log.writeLog(QStringLiteral("No Orvanta at start up"));
        return;
    }
    m_log.writeLog(QStringLiteral("Trying to connect to Orvanta"));
    try {
        if (!m_env.createAutomation)
            throw EOrvantaCallFailed("no automation transport in this build");
        m_orvanta.attach(m_env.createAutomation(m_state.settingsRoot));
        m_log.writeLog(QStringLiteral("Orvanta activated at start up"));
    } catch (const std::exception& error) {
        m_orvanta.detach();
        m_log.writeLog(QStringLiteral("Orvanta automation server not available: ") +
                       describeError(error));
        m_log.writeLog(QLatin1String(kUnableToStart));
        if (m_env.messages)
            m_env.messages->showMessage(QLatin1String(kUnableToStart));
        m_terminate = true;
        m_exitCode = 3;
    }
}

void Collector::createParameterCatalogue() {
    m_catalogue.Clear();
    m_saveIt1.KeepPoints = false;
    m_saveIt1.OnChecksumError = [this](const QString& message) {
        m_log.writeLog(message);
        if (m_env.messages)
            m_env.messages->showMessage(message);
    };
    m_registry = std::make_unique<PatManagement>(*m_settings, m_patients, m_log, m_clock,
                                                 m_state.idReduction);
    m_processor = std::make_unique<ResultProcessor>(ResultProcessorContext{
        m_state, m_log, m_patients, *m_registry, m_catalogue, m_grid, m_orvanta, m_clock,
        m_env.messages, m_env.layout.nativePath(QStringLiteral("C:\\TCA\\TCADATA.INI"))});
    m_control = std::make_unique<CollectionControl>(CollectionControlContext{
        m_state, m_log, m_orvanta, m_patients, m_catalogue, m_grid, m_records, m_linkStatus,
        *m_registry, m_clock, m_processor->Progress(),
        [this] { return m_server->ConnectionCount(); }, [this] { return m_server->Active(); },
        [this] {
            reactivateAnalyzerServer();
        }});
    m_checkList =
        std::make_unique<PatientCheckList>(m_state, m_log, m_patients, *m_registry, *m_control);
    connect(m_processor.get(), &ResultProcessor::patientFileCreated, this,
            &Collector::patientFileCreated);
    connect(m_checkList.get(), &PatientCheckList::patientFileCreated, this,
            &Collector::patientFileCreated);
    m_recreation = std::make_unique<PatientRecreation>(
        PatientRecreationContext{m_state, m_log, *m_processor, m_orvanta, m_clock, m_saveIt1});
    m_messageDispatcher = std::make_unique<MessageDispatcher>(
        MessageDispatcherContext{m_state, m_log, m_records, *m_processor, *m_control, m_linkStatus,
                                 m_clock, [this](const QString& patientId) {
                                     requestRebuild(patientId);
                                 }});
    m_dispatcher = m_messageDispatcher.get();
    m_relay = std::make_unique<LineRelay>(
        LineParserContext{m_state,
                          m_log,
                          *m_processor,
                          m_saveIt1,
                          m_clock,
                          [this] { m_control->linkPresent(); },
                          nullptr,
                          m_dumpCounter.get(),
                          {}},
        [this] { m_linkStatus.Update(); }, m_settings->read(Setting::RelayQueueLimit));
    m_relay->Queue().IncludeChecksum = m_state.includeChecksum;
    m_reporter = std::make_unique<ObservationReporter>(*m_settings, m_log, m_state.dataRoot);
    connect(m_processor.get(), &ResultProcessor::resultStored, m_reporter.get(),
            &ObservationReporter::Report);
    connect(m_processor.get(), &ResultProcessor::eventStored, m_reporter.get(),
            &ObservationReporter::ReportEvent);
    m_reporter->ReadSettings();
    m_control->setLineWriters([this](const QString& patientId) {
        return m_relay ? m_relay->Parser().WriterForPatient(patientId) : nullptr;
    });
}

void Collector::sweepPatientRegistry() {
    m_registry->SweepPatientRegistry(true);
}

void Collector::autoStartCollection() {
    if (!m_state.autoStart)
        return;
    m_state.autoStart = false;
    m_control->start();
}

void Collector::resumeInterruptedRebuilds() {
    m_recreation->ResumeInterruptedRebuilds();
}

void Collector::startHousekeeping() {
    // The collection settings are read where the window is shown for the first time.
    m_collectionSettings = CollectionSettings::Read(*m_settings);
    m_housekeeping.setInterval(std::max(50, m_collectionSettings.timerIntervalMs));
    connect(&m_housekeeping, &QTimer::timeout, this, [this] {
        if (m_housekeepingPauses != 0)
            return;
        checkDataRoot();
        if (m_control)
            m_control->timerTick();
        else if (!m_server->Active())
            reactivateAnalyzerServer(); // start-up ended before collection control existed
        if (m_relay)
            m_relay->Transport().MainTimerTick();
        if (m_reporter)
            m_reporter->MainTimerTick();
        m_serial->mainTimerTick();
        if (m_dataHostWanted && !m_dataHost.Active())
            reactivateDataHostServer();
        if (!m_state.busy)
            m_dataClient->TimerTick();
        // Rebuilds left to another collector are done once its lock is free.
        if (m_recreation && m_recreation->DeferredCount() > 0 && !m_state.busy)
            m_recreation->RetryDeferred();
    });
    m_housekeeping.start();
    if (m_control) {
        m_control->AutomaticParameters = m_collectionSettings.automatic;
        m_state.medianFilterLength = m_collectionSettings.medianFilterValue;
        m_collectionSettings.ApplySelection(m_catalogue);
    }
}

void Collector::reactivateAnalyzerServer() {
    try {
        m_server->Activate();
    } catch (const std::exception&) {
        return; // the server keeps the reason for the status; the next tick tries again
    }
    m_log.writeLog(QStringLiteral("ServerSocketTarvo is active. Reading port ") +
                   QString::number(m_server->Port()));
}

void Collector::reactivateDataHostServer() {
    try {
        m_dataHost.Activate();
    } catch (const std::exception&) {
        return; // start-up logged why; the next tick tries again
    }
    m_log.writeLog(QStringLiteral("The data-host server is active. Port ") +
                   QString::number(m_dataHost.Port()));
}

void Collector::connectToDataHost() {
    m_dataClient->Start();
}

DataClient::Target Collector::dataClientTarget() const {
    DataClient::Target target;
    target.enabled = m_settings->read(Setting::InterNetworking);
    target.ipString = m_settings->read(Setting::IPString).trimmed();
    target.port = m_state.dataClientPort;
    return target;
}

void Collector::updateCaption() {
    m_linkStatus.readLocalAddress();
    m_linkStatus.Update();
}

void Collector::readRelayHost() {
    m_state.relayPort = m_settings->read(Setting::PortOther);
    m_state.relayHost = m_settings->read(Setting::HostOther);
    m_state.filter194 = m_settings->read(Setting::Filter194);
    m_state.relayTimeoutSeconds = m_settings->read(Setting::CommunicationTimeout);
}

void Collector::applyRelayConnection() {
    try {
        m_relay->Transport().ApplyRelayConnection();
    } catch (const std::exception&) {
        // The main timer tries again.
    }
}

void Collector::activateAnalyzerServer() {
    // A port that cannot be used ends start-up here as an application error.
    if (!m_server->Active())
        m_server->Activate();
}

void Collector::logStartupSummary() {
    m_log.writeLog(QStringLiteral("Communication Protocol = ") + protocolLogName(m_state.protocol));
    if (!m_state.relayHost.isEmpty())
        m_log.writeLog(QStringLiteral("HostOther = ") + m_state.relayHost + u':' +
                       QString::number(m_state.relayPort));
    else
        m_log.writeLog(QStringLiteral("No HostOther defined"));
    m_log.writeLog(m_state.noOrvanta ? QStringLiteral("No Orvanta interface")
                                     : QStringLiteral("Orvanta active"));
    m_log.writeLog(m_server->Active()
                       ? QStringLiteral("ServerSocketTarvo is active. Reading port ") +
                             QString::number(m_server->Port())
                       : QStringLiteral("ServerSocketTarvo is NOT active. Port setting is ") +
                             QString::number(m_state.analyzerPort));
    // Both servers listen on every address; without a list every host on the network that
    // reaches them is admitted and receives what the analyzers send.
    if (m_peerGate.allowed().open() && (m_server->Active() || m_dataHost.Active()))
        m_log.writeWarning(
            QStringLiteral("Warning: AllowedPeers is empty, so every host on the "
                           "network may connect to the analyzer server (port %1) and "
                           "the data-host server (port %2); name the analyzers and "
                           "stations in AllowedPeers")
                .arg(m_state.analyzerPort)
                .arg(m_state.dataHostServerPort));
}

void Collector::readExternalMediaDrive() {
    // A stored letter is used upper-cased; a stored mount folder as it stands.
    const QString stored = m_settings->read(Setting::ExternalMediaDrive);
    const QString accepted = ExternalMediaDrive::AcceptAnswer(stored);
    m_state.externalMediaDrive = accepted.isEmpty() ? stored.toUpper() : accepted;
    m_state.externalMediaMenuCaption = ExternalMediaDrive::MenuCaption(m_state.externalMediaDrive);
}
