#pragma once

#include <functional>

#include <QString>

class Collector;

// Every value the settings dialog edits, as the dialog shows it.
// Reporting results to the hospital's integration engine (the Report settings).
struct ReportChoice {
    QString host;
    int port = 0;
    QString sendingApplication;
    QString sendingFacility;
    QString receivingApplication;
    QString receivingFacility;
    bool controls = false;
    bool events = true;
};

struct HostSettingsChoice {
    int originIndex = 0; // 0 current user, 1 local machine
    bool autoHide = true;
    bool autoStart = true;
    bool autoCreate = false;
    int idReduction = 0; // 0 none, 1 first ten characters, 2 last ten characters
    bool interNetworking = false;
    QString ipString;
    // The networking box can be changed only while no data client is connected to this station.
    bool networkingEnabled = true;
    int port = 13000;
    int protocolIndex = 0;        // 0 XML, 1 HL7, 2 ASTM E-1381
    bool orvantaInterface = true; // the inverse of NoOrvanta
    bool relayDataToHost = false;
    bool includeChecksum = false;
    QString hostOther;
    int portOther = 13000;
    bool filter194 = false;
    int communicationTimeout = 10;
    bool monitorNetworkLocation = false;
    QString dataRoot; // shown under the monitoring box
    bool duplicateXmlFiles = false;
    QString duplicateToNetworkLocation;
    ReportChoice report;
};

// Reading the settings dialog's values from a running collector and taking the confirmed values
// into use. The collector composes; these operations decide what a confirmation changes.
namespace HostSettings {

// The values the dialog opens with: the settings origin in use, the stored settings, and the
// port the analyzer server uses now.
HostSettingsChoice Load(Collector& collector);

// Writes and applies the confirmed values in the order the collector's parts depend on:
// settings origin (every later value goes to the chosen root), start switches and relay host,
// relay details, protocol, NoOrvanta, XML duplication, folder monitoring, the analyzer port, the
// relay connection, patient creation and ID reduction, and the data-client socket.
// askRecreateAll is asked (true for Yes) when folder monitoring has just been switched on.
void Save(Collector& collector, const HostSettingsChoice& chosen,
          const std::function<bool()>& askRecreateAll);

inline constexpr auto kPortChangeFailure = "Error when trying to set IP port number";

} // namespace HostSettings
