#pragma once

#include <QString>

// Every value under the collector's settings key, with its type and the default a reader uses
// when the value is missing, unreadable or of the wrong type.
namespace Setting {

inline constexpr auto kKeyPath = "\\SOFTWARE\\Keldamed AB\\Panoptra\\External Collect\\1.0\\Tarvo";

struct Boolean {
    const char* name;
    bool defaultValue;
};
struct Integer {
    const char* name;
    int defaultValue;
};
struct Text {
    const char* name;
    const char* defaultValue;
};

inline constexpr Text HKEY{"HKEY", ""};
inline constexpr Text DebugFolder{"DebugFolder", ""};
inline constexpr Integer MessageMaxValue{"MessageMaxValue", 20};
inline constexpr Text CommunicationProtocol{"CommunicationProtocol", "XML"};
inline constexpr Boolean RelayDataToHost{"RelayDataToHost", false};
inline constexpr Boolean IncludeChecksum{"IncludeChecksum", false};
inline constexpr Text HostOther{"HostOther", ""};
inline constexpr Integer PortOther{"PortOther", 13000};
inline constexpr Integer CommunicationTimeout{"CommunicationTimeout", 10};
inline constexpr Boolean Filter194{"Filter194", false};
// Entries the relay queue holds at most before its oldest messages go to an overflow file.
inline constexpr Integer RelayQueueLimit{"RelayQueueLimit", 100000};
inline constexpr Integer Port{"Port", 13000};
inline constexpr Boolean AutoHide{"AutoHide", false};
inline constexpr Boolean AutoStart{"AutoStart", false};
inline constexpr Boolean AutoCreate{"AutoCreate", false};
inline constexpr Integer IDReduction{"IDReduction", 0};
inline constexpr Boolean NoOrvanta{"NoOrvanta", false};
inline constexpr Boolean InterNetworking{"InterNetworking", false};
inline constexpr Text IPString{"IPString", ""};
inline constexpr Integer ClientSocketPort{"ClientSocketPort", 13999};
// Peers the analyzer server and the data-host server admit: comma-separated addresses and CIDR
// ranges; empty admits everyone, a list without one readable entry admits no one.
inline constexpr Text AllowedPeers{"AllowedPeers", ""};
// Analyzer connections held at once (1 to 1024); a connection beyond them is refused, so that
// memory has a ceiling however many connections are opened.
inline constexpr Integer AnalyzerConnectionLimit{"AnalyzerConnectionLimit", 64};
inline constexpr Boolean MonitorNetworkLocation{"MonitorNetworkLocation", false};
// Seconds between the polling scans of folder monitoring (0: only archives that cannot be
// watched are scanned); off, MonitorNotifications leaves changes to the polling scan alone.
inline constexpr Integer MonitorPollSeconds{"MonitorPollSeconds", 10};
inline constexpr Boolean MonitorNotifications{"MonitorNotifications", true};
// The monitoring endpoint (/health, /metrics, /status): its TCP port (0: off) and the address it
// listens on (loopback by default; AllowedPeers applies to the requests when it is another).
inline constexpr Integer MonitorHttpPort{"MonitorHttpPort", 0};
inline constexpr Text MonitorHttpAddress{"MonitorHttpAddress", "127.0.0.1"};
// Results reported to the hospital's integration engine over MLLP: the engine's host and port
// (empty or 0: the reporter is off), the header's applications and facilities, whether controls
// and calibrations are reported too, and the messages the queue holds at most before its oldest
// go to an overflow file.
inline constexpr Text ReportHost{"ReportHost", ""};
inline constexpr Integer ReportPort{"ReportPort", 0};
inline constexpr Text ReportSendingApplication{"ReportSendingApplication", "TarvoCollect"};
inline constexpr Text ReportSendingFacility{"ReportSendingFacility", ""};
inline constexpr Text ReportReceivingApplication{"ReportReceivingApplication", ""};
inline constexpr Text ReportReceivingFacility{"ReportReceivingFacility", ""};
inline constexpr Boolean ReportControls{"ReportControls", false};
inline constexpr Boolean ReportEvents{"ReportEvents", true};
inline constexpr Integer ReportQueueLimit{"ReportQueueLimit", 100000};
inline constexpr Boolean DuplicateXMLFiles{"DuplicateXMLFiles", false};
inline constexpr Text DuplicateToNetworkLocation{"DuplicateToNetworkLocation", ""};
inline constexpr Text ExternalMediaDrive{"ExternalMediaDrive", ""};
// The serial line of an analyzer attached by RS-232: the device ("/dev/ttyUSB0", "COM3"; empty
// leaves the serial link closed), its speed, its framing (data bits, parity N/E/O/M/S, stop bits
// 1, 1.5 or 2) and its flow control ("None", "RTS/CTS" or "XON/XOFF").
inline constexpr Text SerialPort{"SerialPort", ""};
inline constexpr Integer SerialBaudRate{"SerialBaudRate", 9600};
inline constexpr Text SerialFraming{"SerialFraming", "8N1"};
inline constexpr Text SerialFlowControl{"SerialFlowControl", "None"};
inline constexpr Boolean UseTarvoSettings{"UseTarvoSettings", true};
inline constexpr Integer Interval{"Interval", 30};
inline constexpr Integer MedianFilterValue{"MedianFilterValue", 15};
inline constexpr Integer TimerInterval{"TimerInterval", 1000};
inline constexpr Text FilterFunction{"FilterFunction", "Median"};
inline constexpr Boolean Automatic{"Automatic", true};

// Numbered families: "Param0", "Param1", ... (no gaps), "Name" + parameter number,
// "Patient0", "Patient1", ...
inline constexpr auto kParamPrefix = "Param";
inline constexpr auto kNamePrefix = "Name";
inline constexpr auto kPatientPrefix = "Patient";

// The value of HKEY that selects the local machine's root.
inline constexpr auto kLocalMachineChoice = "LOCAL_MACHINE";
inline constexpr auto kCurrentUserChoice = "CURRENT_USER";

} // namespace Setting

// Other keys this program reads.
namespace OtherKey {
inline constexpr auto kLanguage = "Software\\Keldamed AB\\Orvanta\\2.0\\General";
inline constexpr auto kFilePaths20 = "Software\\Keldamed AB\\Orvanta\\2.0\\File Paths";
inline constexpr auto kFilePaths10 = "Software\\Keldamed AB\\Orvanta\\1.0\\File Paths";
inline constexpr auto kLanguageValue = "Language";
inline constexpr auto kTcaDataValue = "TCAData";
} // namespace OtherKey
