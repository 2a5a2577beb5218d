#pragma once

#include <deque>

#include <functional>
#include <memory>

#include <QEvent>
#include <QObject>
#include <QSet>
#include <QTimer>

#include "AnalyzerLinkHost.h"
#include "CollectionControl.h"
#include "CollectionSettings.h"
#include "CollectorState.h"
#include "ConnectionListModel.h"
#include "DataClient.h"
#include "DataHostServer.h"
#include "EventLog.h"
#include "ExternalMediaImport.h"
#include "FolderMonitor.h"
#include "IOrvanta_TLB.h"
#include "InstallationLayout.h"
#include "LatestValueGrid.h"
#include "LineFraming.h"
#include "LineRelay.h"
#include "LinkStatus.h"
#include "MessageDispatcher.h"
#include "ObservationReporter.h"
#include "OrvantaLink.h"
#include "ParameterCatalogue.h"
#include "PatManagement.h"
#include "PatientCheckList.h"
#include "PatientFolderListing.h"
#include "PatientList.h"
#include "PatientRecreation.h"
#include "PeerGate.h"
#include "RegistryHives.h"
#include "ResultProcessor.h"
#include "SerialLink.h"
#include "ServerSocketTarvo.h"
#include "SettingKeys.h"
#include "SettingsStore.h"
#include "TSaveItNew.h"
#include "TSimpleCounter.h"
#include "TSockets.h"
#include "XmlDispatcher.h"

class Clock;
class OperatorMessages;

// What a collector needs from the process that runs it.
struct CollectorEnvironment {
    InstallationLayout layout;
    QString executablePath;
    // The first command-line argument that is not an option ("NOORVANTA" switches the
    // automation link off).
    QString firstArgument;
    const Clock* clock = nullptr;
    // The timers of folder monitoring (the event loop's when not given).
    TimerSource* timers = nullptr;
    OperatorMessages* messages = nullptr;
    // Creates the automation object on the bus that belongs to the settings root; throws when
    // the server cannot be reached.
    std::function<std::unique_ptr<IPanoptraAutoObject>(RegistryRoot)> createAutomation;
    // Without a window: where the application errors of start-up are also written (standard
    // error), so that an engineer sees why the collector is not listening.
    std::function<void(const QString& line)> startupErrorEcho;
};

// The running collector without any window: settings in use, the event log, the automation
// link and the process-wide state. A window, when there is one, shows this object and forwards
// the operator's commands to it.
class Collector : public QObject, private AnalyzerLinkHost {
    Q_OBJECT

public:
    // Posted when record lines wait in the line queue, and to rebuild one patient.
    static constexpr QEvent::Type kLinesWaitingEvent = QEvent::Type(QEvent::User + 25);
    static constexpr QEvent::Type kRebuildPatientEvent = QEvent::Type(QEvent::User + 26);
    static constexpr auto kApplicationTitle = "Tarvo Data Input Module";
    static constexpr auto kUnableToStart = "Unable to start, please contact Keldamed AB";
    static constexpr auto kNoOrvantaSwitch = "NOORVANTA";
    // The exit status when a settings file exists but neither it nor its last good copy can be
    // read: the collector does not start on default settings.
    static constexpr int kUnreadableSettingsExit = 5;

    enum class StartOutcome { Running, Terminate };

    explicit Collector(CollectorEnvironment environment, QObject* parent = nullptr);
    ~Collector() override;

    // Runs the start-up sequence. A failure inside a step without handling of its own ends the
    // sequence there and is logged as an application error; the collector then runs on with
    // what was set up, and the housekeeping timer starts in any case (it activates the analyzer
    // server while it is not listening). Terminate means the program must end (exitCode tells
    // how).
    StartOutcome start();
    int exitCode() const { return m_exitCode; }

    // Closing steps; safe to call more than once. Stops taking analyzers, handles every complete
    // message that has arrived and runs the waiting rebuilds before the connections close.
    void close();

    // The application-wide failure handler: logs "Application error: " + message.
    void handleApplicationError(const QString& message);

    EventLog& log() override { return m_log; }
    const SettingsStore& settings() const { return *m_settings; }
    OrvantaLink& orvanta() { return m_orvanta; }
    // Read by everyone; the collector keeps what start-up found and the settings in use, the
    // other values have their own writers (collection control, the link's network role).
    const CollectorState& state() const override { return m_state; }
    const InstallationLayout& layout() const { return m_env.layout; }

    ServerSocketTarvo& analyzerServer() { return *m_server; }
    // The analyzer on a serial line (closed unless the settings name its port).
    SerialLink& serialLink() { return *m_serial; }
    // Orvanta networking: the stations served, the data host this collector reads from, and the
    // admission of peers to both servers.
    DataHostServer& dataHostServer() { return m_dataHost; }
    DataClient& dataClient() { return *m_dataClient; }
    PeerGate& peerGate() { return m_peerGate; }
    TSockets& connectionRecords() { return m_records; }
    ConnectionListModel& connectionList() { return m_connectionList; }
    LinkStatus& status() { return m_linkStatus; }
    // Record-line messages waiting for the line handler, source by source.
    std::deque<LineBatch>& lineQueue() { return m_lineBatches; }
    // Handles the analyzers' XML messages (exists once start-up created the catalogue).
    MessageDispatcher& messageDispatcher() { return *m_messageDispatcher; }

    PatientListModel& patients() { return m_patients; }
    TParameters& parameterCatalogue() { return m_catalogue; }
    LatestValueGrid& latestValues() { return m_grid; }
    PatManagement& patientRegistry() { return *m_registry; }
    ResultProcessor& resultProcessor() { return *m_processor; }
    CollectionControl& collectionControl() { return *m_control; }
    PatientCheckList& checkList() { return *m_checkList; }
    const CollectionSettings& collectionSettings() const { return m_collectionSettings; }
    // The writer of results that come without a connection record (line protocols, archives).
    TSaveItNew& mainWriter() { return m_saveIt1; }
    // The record-line parser and the relay to a laboratory host (exists with the catalogue).
    LineRelay& lineRelay() { return *m_relay; }
    // Reports stored results to the hospital's integration engine (exists with the catalogue).
    ObservationReporter* reporter() { return m_reporter.get(); }
    const ObservationReporter* reporter() const { return m_reporter.get(); }

    // While Busy is set, analyzer reads wait; clearing it reads what waited.
    void setBusy(bool busy);

    // Whether start-up got as far as creating the models the operator commands work on.
    bool operational() const { return m_messageDispatcher != nullptr; }

    // Operator commands (the window's menu entries, or --command without a window).
    // "Recreate data": rebuilds the patient's data file from its archive, storing every
    // result whether or not the patient is collected; automatic hiding ends for this run.
    RecreationOutcome recreatePatientData(const QString& patientId);
    // "Get data from external media": copies the patient's XML files into its archive.
    ImportOutcome importFromExternalMedia(const QString& patientId);
    // "Set External Media Drive": false when the answer changes nothing.
    bool setExternalMediaDrive(const QString& answer);
    QString externalMediaRoot() const;
    // The patient folders the pickers offer.
    PatientFolderListing patientsWithArchive() const;
    PatientFolderListing patientsOnExternalMedia() const;
    FolderMonitor& folderMonitor() { return *m_monitor; }
    // Rebuild requests still waiting to run.
    int waitingRebuilds() const { return int(m_rebuildsWaiting.size()); }
    // Rebuilds from the archive run since the start (asked for by documents or monitoring).
    qint64 rebuildsDone() const { return m_rebuildsDone; }

    // The settings dialog: the housekeeping timer does nothing between these two calls (they
    // nest).
    void suspendHousekeeping() { pauseHousekeeping(true); }
    void resumeHousekeeping() { pauseHousekeeping(false); }
    bool housekeepingSuspended() const { return m_housekeepingPauses != 0; }
    // Saving the settings dialog with another settings origin: copies every value of the
    // settings in use to the chosen root, writes HKEY under the local machine's root and moves
    // every later read and write of the settings to the chosen root. The old root keeps its
    // values. False (and nothing switched, with a log line) when the copy could not be written.
    bool switchSettingsRoot(RegistryRoot root);
    // Reads AllowedPeers into the servers' gate (at start-up and when the settings are saved);
    // each unreadable entry is one log line.
    void applyAllowedPeers();
    // The connection to the relay host (disconnected while there is no relay).
    RelayConnectionState relayConnection() const;
    // Whether start-up created the record-line parser and the relay.
    bool hasLineRelay() const { return m_relay != nullptr; }

    // Saving the settings dialog (the store is already written): each takes the saved values
    // into use.
    struct RelaySettings {
        QString host;
        int port = 0;
        bool filter194 = false;
        int timeoutSeconds = 0;
        bool enabled = false;
        bool includeChecksum = false;
    };
    void useRelaySettings(const RelaySettings& relay);
    // Another protocol starts the relay connection anew; false when it is the one in use.
    bool useProtocol(AnalyzerProtocol protocol);
    // location: the setting DuplicateToNetworkLocation as entered.
    void useDuplicates(bool enabled, const QString& location);
    void useMonitorNetworkLocation(bool monitor) { m_state.monitorNetworkLocation = monitor; }
    void usePatientCreation(bool autoCreate, IdReduction reduction);
    // Moves the analyzer server to the port; a port that cannot be opened now is logged and
    // tried again by the housekeeping timer.
    void useAnalyzerPort(int port);
    // Saving the settings dialog: folder monitoring was switched on or off (the new value of
    // MonitorNetworkLocation is already written); rebuildAll is the operator's answer to the
    // question whether all patient data is recreated.
    void monitoringSwitched(bool rebuildAll);
    // Saving the settings dialog: closes the data-client socket; the reconnect countdown opens
    // it again while inter-networking is on.
    void closeDataClient();

signals:
    // Another copy of the program asked this one to show its window.
    void showWindowRequested();
    // Record lines wait in the line queue.
    void linesWaiting();
    // A patient record file was created (the New Patient window shows the text for 5 s).
    void patientFileCreated(const QString& statusText);
    // Folder monitoring's two texts: "Monitoring: " + data root, and the patient and time of the
    // last update from the shared folder ("Update from: " + patient + " At: " + time); both
    // empty while monitoring is off (the labels are hidden).
    void monitoringTextChanged(const QString& text);
    void updateTextChanged(const QString& text);
    // The data root could no longer or again be used: "Not storing: ..." while nothing can be
    // stored, empty once it can.
    void storingChanged(const QString& notStoring);

protected:
    bool event(QEvent* event) override;

private:
    using Step = void (Collector::*)();
    struct NamedStep {
        const char* name;
        Step step;
    };
    static const std::vector<NamedStep>& startupSteps();

    void chooseSettingsRoot();
    void openEventLog();
    void logOpening();
    void resolveDataRoot();
    void createSharedQueues();
    void setInitialLinkState();
    void readProtocol();
    void readRelaySwitches();
    void createConnectionRecords();
    void resetProcessingFlags();
    void readUseTarvoSettings();
    void readStartupSwitches();
    int readInRange(const Setting::Integer& setting, int lowest, int highest,
                    const QString& refusal);
    void readDataClientPort();
    void setAnalyzerPort();
    void readIdReduction();
    void connectOrvanta();
    void createParameterCatalogue();
    void sweepPatientRegistry();
    void autoStartCollection();
    void resumeInterruptedRebuilds();
    void connectToDataHost();
    void updateCaption();
    void readRelayHost();
    void applyRelayConnection();
    void activateAnalyzerServer();
    void logStartupSummary();
    void readExternalMediaDrive();
    void startHousekeeping();
    void startFolderMonitoring();
    void recreateMonitoredPatient(const QString& patientId);
    void reactivateAnalyzerServer();
    void reactivateDataHostServer();
    // Sees whether the data root can be created or written and logs and signals every change.
    // Start-up ends: the text tells the operator why, and the program exits with the status of
    // unreadable settings.
    void refuseToStart(const QString& text);
    void checkDataRoot();

    // AnalyzerLinkHost
    TSockets& records() override { return m_records; }
    XmlDispatcher& dispatcher() override { return *m_dispatcher; }
    TSimpleCounter& dumpCounter() override { return *m_dumpCounter; }
    LinkStatus& linkStatus() override { return m_linkStatus; }
    void rebuildConnectionList(const QString& excludedAddress) override;
    void requestRebuild(const QString& patientId);
    void rebuildWaitingPatient(const QString& patientId);
    void switchInterNetworkingOff() override;
    void setNetworkRole(NetworkRole role) override;
    void linesQueued(LineBatch batch) override;
    void pauseHousekeeping(bool paused) override;
    void forwardToDataClients(const QString& messages) override;
    bool forwardsToDataClients() const override;
    DataClient::Target dataClientTarget() const;
    void relayPassThrough(const QByteArray& chunk) override;
    void reportApplicationError(const QString& message) override;
    CaptionFacts captionFacts() const;

    CollectorEnvironment m_env;
    const Clock& m_clock;
    RegistryHives m_hives;
    std::unique_ptr<SettingsStore> m_settings;
    EventLog m_log;
    OrvantaLink m_orvanta;
    CollectorState m_state;
    TSockets m_records;
    std::deque<LineBatch> m_lineBatches;
    qint64 m_rebuildsDone = 0;
    std::unique_ptr<TSimpleCounter> m_dumpCounter;
    // Cuts messages without acting on them until start-up has created the message dispatcher.
    std::unique_ptr<FramingDispatcher> m_framing;
    XmlDispatcher* m_dispatcher = nullptr;
    LinkStatus m_linkStatus;
    ConnectionListModel m_connectionList;
    std::unique_ptr<ServerSocketTarvo> m_server;
    std::unique_ptr<SerialLink> m_serial;
    PeerGate m_peerGate;
    DataHostServer m_dataHost;
    std::unique_ptr<DataClient> m_dataClient;
    PatientListModel m_patients;
    TParameters m_catalogue;
    LatestValueGrid m_grid;
    TSaveItNew m_saveIt1;
    std::unique_ptr<PatManagement> m_registry;
    std::unique_ptr<ResultProcessor> m_processor;
    std::unique_ptr<CollectionControl> m_control;
    std::unique_ptr<MessageDispatcher> m_messageDispatcher;
    std::unique_ptr<PatientCheckList> m_checkList;
    std::unique_ptr<PatientRecreation> m_recreation;
    std::unique_ptr<LineRelay> m_relay;
    std::unique_ptr<ObservationReporter> m_reporter;
    std::unique_ptr<FolderMonitor> m_monitor;
    CollectionSettings m_collectionSettings;
    QSet<QString> m_rebuildsWaiting;
    QTimer m_housekeeping; // the main timer
    int m_housekeepingPauses = 0;
    bool m_startingUp = false;
    bool m_terminate = false;
    int m_exitCode = 0;
    bool m_closed = false;
    // What start-up found of unreadable settings files, logged once the log is open.
    QStringList m_settingsRecovery;
    // Set once start-up has tried to open the data-host server.
    bool m_dataHostWanted = false;
};
