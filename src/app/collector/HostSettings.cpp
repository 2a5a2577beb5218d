#include "HostSettings.h"

#include <algorithm>

#include "Collector.h"
#include "LogPrefixes.h"
#include "TarvoError.h"

namespace {

constexpr auto kDataClientPrefix = "Orvanta: ";

RegistryRoot rootOf(int originIndex) {
    return originIndex == 1 ? RegistryRoot::LocalMachine : RegistryRoot::CurrentUser;
}

int idReductionIndex(int stored) {
    return stored >= 0 && stored <= 2 ? stored : 0;
}

// A data client connected to this station's data-host server appears in the connection list.
bool dataClientConnected(const ConnectionListModel& connections) {
    return std::any_of(connections.lines().begin(), connections.lines().end(),
                       [](const QString& line) { return line.startsWith(kDataClientPrefix); });
}

// Applying the relay connection with relaying off closes the socket (and starts the front
// message of the relay queue again on the next connection).
void closeRelaySocket(Collector& collector) {
    if (!collector.hasLineRelay())
        return;
    CollectorState& state = collector.state();
    const bool relaying = state.relayEnabled;
    state.relayEnabled = false;
    try {
        collector.lineRelay().Transport().ApplyRelayConnection();
    } catch (const std::exception&) {
        // Closing a socket does not fail; the main timer sets the connection up again anyway.
    }
    state.relayEnabled = relaying;
}

void changeAnalyzerPort(Collector& collector, int port) {
    collector.state().analyzerPort = port;
    ServerSocketTarvo& server = collector.analyzerServer();
    try {
        server.Deactivate();
        server.SetPort(port);
        server.Activate();
    } catch (const std::exception& error) {
        // The server stays inactive; the housekeeping timer activates it once the port is free.
        collector.log().writeError(QLatin1String(LogPrefix::kPortChange) +
                                   QLatin1String(HostSettings::kPortChangeFailure) +
                                   QStringLiteral(" (") + describeError(error) + u')');
    }
}

} // namespace

HostSettingsChoice HostSettings::Load(Collector& collector) {
    const SettingsStore& settings = collector.settings();
    const CollectorState& state = collector.state();
    HostSettingsChoice choice;
    choice.originIndex = state.settingsRoot == RegistryRoot::LocalMachine ? 1 : 0;
    choice.autoHide = settings.read(Setting::AutoHide);
    choice.autoStart = settings.read(Setting::AutoStart);
    choice.autoCreate = settings.read(Setting::AutoCreate);
    choice.idReduction = idReductionIndex(settings.read(Setting::IDReduction));
    choice.interNetworking = settings.read(Setting::InterNetworking);
    choice.ipString = settings.read(Setting::IPString);
    choice.networkingEnabled = !dataClientConnected(collector.connectionList());
    choice.port = collector.analyzerServer().Port();
    choice.protocolIndex = int(protocolFromSetting(settings.read(Setting::CommunicationProtocol)));
    choice.orvantaInterface = !settings.read(Setting::NoOrvanta);
    choice.relayDataToHost = settings.read(Setting::RelayDataToHost);
    choice.includeChecksum = settings.read(Setting::IncludeChecksum);
    choice.hostOther = settings.read(Setting::HostOther);
    choice.portOther = settings.read(Setting::PortOther);
    choice.filter194 = settings.read(Setting::Filter194);
    choice.communicationTimeout = settings.read(Setting::CommunicationTimeout);
    choice.monitorNetworkLocation = settings.read(Setting::MonitorNetworkLocation);
    choice.dataRoot = state.dataRoot;
    choice.duplicateXmlFiles = settings.read(Setting::DuplicateXMLFiles);
    choice.duplicateToNetworkLocation = settings.read(Setting::DuplicateToNetworkLocation);
    choice.report = {settings.read(Setting::ReportHost),
                     settings.read(Setting::ReportPort),
                     settings.read(Setting::ReportSendingApplication),
                     settings.read(Setting::ReportSendingFacility),
                     settings.read(Setting::ReportReceivingApplication),
                     settings.read(Setting::ReportReceivingFacility),
                     settings.read(Setting::ReportControls),
                     settings.read(Setting::ReportEvents)};
    return choice;
}

namespace {

// Start switches, networking, patients, port and the relay host and its details.
void writeSwitchesAndRelay(Collector& collector, const HostSettingsChoice& chosen) {
    const SettingsStore& settings = collector.settings();
    settings.change(Setting::AutoHide, chosen.autoHide);
    settings.change(Setting::AutoStart, chosen.autoStart);
    settings.change(Setting::InterNetworking, chosen.interNetworking);
    settings.change(Setting::IPString, chosen.ipString);
    settings.change(Setting::AutoCreate, chosen.autoCreate);
    settings.change(Setting::IDReduction, idReductionIndex(chosen.idReduction));
    settings.change(Setting::Port, chosen.port);
    settings.change(Setting::RelayDataToHost, chosen.relayDataToHost);
    settings.change(Setting::IncludeChecksum, chosen.includeChecksum);
    settings.change(Setting::HostOther, chosen.hostOther);
    settings.change(Setting::PortOther, chosen.portOther);
    settings.change(Setting::Filter194, chosen.filter194);
    settings.change(Setting::CommunicationTimeout, chosen.communicationTimeout);

    CollectorState& state = collector.state();
    state.relayHost = chosen.hostOther;
    state.relayPort = chosen.portOther;
    state.filter194 = chosen.filter194;
    state.relayTimeoutSeconds = chosen.communicationTimeout;
    state.relayEnabled = chosen.relayDataToHost;
    state.includeChecksum = chosen.includeChecksum;
    if (collector.hasLineRelay())
        collector.lineRelay().Queue().IncludeChecksum = chosen.includeChecksum;
}

// Another protocol starts the relay connection anew.
void applyProtocol(Collector& collector, const HostSettingsChoice& chosen) {
    CollectorState& state = collector.state();
    const AnalyzerProtocol protocol = protocolFromIndex(chosen.protocolIndex);
    if (protocol != state.protocol) {
        state.protocol = protocol;
        closeRelaySocket(collector);
        state.relayConnection = RelayConnectionState::Connecting;
        collector.status().Update();
    }
    collector.settings().change(Setting::CommunicationProtocol, protocolSettingText(protocol));
}

// Duplicates of archived XML documents.
void applyDuplicates(Collector& collector, const HostSettingsChoice& chosen) {
    CollectorState& state = collector.state();
    state.duplicateXmlFiles = chosen.duplicateXmlFiles;
    state.duplicateLocation = chosen.duplicateToNetworkLocation.isEmpty()
                                  ? QString()
                                  : withTrailingSeparator(collector.layout().nativePath(
                                        chosen.duplicateToNetworkLocation));
    collector.settings().change(Setting::DuplicateXMLFiles, chosen.duplicateXmlFiles);
    collector.settings().change(Setting::DuplicateToNetworkLocation,
                                chosen.duplicateToNetworkLocation);
}

// Folder monitoring. Switched off there is no question, and the first-showing state of the
// watchers stays as it is.
void applyMonitoring(Collector& collector, const HostSettingsChoice& chosen,
                     const std::function<bool()>& askRecreateAll) {
    CollectorState& state = collector.state();
    if (chosen.monitorNetworkLocation == state.monitorNetworkLocation)
        return;
    state.monitorNetworkLocation = chosen.monitorNetworkLocation;
    collector.settings().change(Setting::MonitorNetworkLocation, chosen.monitorNetworkLocation);
    bool rebuildAll = true;
    if (chosen.monitorNetworkLocation)
        rebuildAll = askRecreateAll && askRecreateAll();
    collector.monitoringSwitched(rebuildAll);
}

// The relay connection with the new host, port, time-out, switch and checksum.
void applyRelayConnection(Collector& collector) {
    if (!collector.hasLineRelay())
        return;
    try {
        collector.lineRelay().Transport().ApplyRelayConnection();
    } catch (const std::exception&) {
        // The main timer tries again.
    }
}

// The reporter takes its Report settings as they now stand.
void applyReport(Collector& collector, const HostSettingsChoice& chosen) {
    const SettingsStore& settings = collector.settings();
    settings.change(Setting::ReportHost, chosen.report.host.trimmed());
    settings.change(Setting::ReportPort, chosen.report.port);
    settings.change(Setting::ReportSendingApplication, chosen.report.sendingApplication);
    settings.change(Setting::ReportSendingFacility, chosen.report.sendingFacility);
    settings.change(Setting::ReportReceivingApplication, chosen.report.receivingApplication);
    settings.change(Setting::ReportReceivingFacility, chosen.report.receivingFacility);
    settings.change(Setting::ReportControls, chosen.report.controls);
    settings.change(Setting::ReportEvents, chosen.report.events);
    if (collector.reporter())
        collector.reporter()->ReadSettings();
}

} // namespace

void HostSettings::Save(Collector& collector, const HostSettingsChoice& chosen,
                        const std::function<bool()>& askRecreateAll) {
    // The settings origin first: every value in use is copied to the chosen root, and every
    // value below is written there. Every value that changes is logged.
    if (rootOf(chosen.originIndex) != collector.state().settingsRoot)
        collector.switchSettingsRoot(rootOf(chosen.originIndex));
    writeSwitchesAndRelay(collector, chosen);
    applyProtocol(collector, chosen);
    // Takes effect at the next start.
    collector.settings().change(Setting::NoOrvanta, !chosen.orvantaInterface);
    applyDuplicates(collector, chosen);
    applyMonitoring(collector, chosen, askRecreateAll);
    if (chosen.port != collector.analyzerServer().Port())
        changeAnalyzerPort(collector, chosen.port);
    applyRelayConnection(collector);

    // Patient creation and ID reduction.
    CollectorState& state = collector.state();
    state.autoCreate = chosen.autoCreate;
    state.idReduction = idReductionFrom(chosen.idReduction);

    // The servers' peer list as it now stands under the chosen root, its faults logged again.
    collector.applyAllowedPeers();
    applyReport(collector, chosen);

    // The data client connects again while inter-networking is on.
    collector.closeDataClient();
    collector.status().Update();
}
