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

    collector.useRelaySettings({chosen.hostOther, chosen.portOther, chosen.filter194,
                                chosen.communicationTimeout, chosen.relayDataToHost,
                                chosen.includeChecksum});
}

// Another protocol starts the relay connection anew.
void applyProtocol(Collector& collector, const HostSettingsChoice& chosen) {
    const AnalyzerProtocol protocol = protocolFromIndex(chosen.protocolIndex);
    if (collector.useProtocol(protocol))
        collector.status().Update();
    collector.settings().change(Setting::CommunicationProtocol, protocolSettingText(protocol));
}

// Duplicates of archived XML documents.
void applyDuplicates(Collector& collector, const HostSettingsChoice& chosen) {
    collector.useDuplicates(chosen.duplicateXmlFiles, chosen.duplicateToNetworkLocation);
    collector.settings().change(Setting::DuplicateXMLFiles, chosen.duplicateXmlFiles);
    collector.settings().change(Setting::DuplicateToNetworkLocation,
                                chosen.duplicateToNetworkLocation);
}

// Folder monitoring. Switched off there is no question, and the first-showing state of the
// watchers stays as it is.
void applyMonitoring(Collector& collector, const HostSettingsChoice& chosen,
                     const std::function<bool()>& askRecreateAll) {
    if (chosen.monitorNetworkLocation == collector.state().monitorNetworkLocation)
        return;
    collector.useMonitorNetworkLocation(chosen.monitorNetworkLocation);
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
        collector.useAnalyzerPort(chosen.port);
    applyRelayConnection(collector);

    // Patient creation and ID reduction.
    collector.usePatientCreation(chosen.autoCreate, idReductionFrom(chosen.idReduction));

    // The servers' peer list as it now stands under the chosen root, its faults logged again.
    collector.applyAllowedPeers();
    applyReport(collector, chosen);

    // The data client connects again while inter-networking is on.
    collector.closeDataClient();
    collector.status().Update();
}
