#pragma once

#include <functional>
#include <memory>

#include <QObject>

#include "CollectorState.h"
#include "EventLog.h"
#include "IOrvanta_TLB.h"
#include "InstallationLayout.h"
#include "OrvantaLink.h"
#include "RegistryHives.h"
#include "SettingsStore.h"

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
    OperatorMessages* messages = nullptr;
    // Creates the automation object on the bus that belongs to the settings root; throws when
    // the server cannot be reached.
    std::function<std::unique_ptr<IPanoptraAutoObject>(RegistryRoot)> createAutomation;
};

// The running collector without any window: settings in use, the event log, the automation
// link and the process-wide state. A window, when there is one, shows this object and forwards
// the operator's commands to it.
class Collector : public QObject {
    Q_OBJECT

public:
    static constexpr auto kApplicationTitle = "Tarvo Data Input Module";
    static constexpr auto kUnableToStart = "Unable to start, please contact Keldamed AB";
    static constexpr auto kNoOrvantaSwitch = "NOORVANTA";

    enum class StartOutcome { Running, Terminate };

    explicit Collector(CollectorEnvironment environment, QObject* parent = nullptr);
    ~Collector() override;

    // Runs the start-up sequence. A failure inside a step without handling of its own ends the
    // sequence there and is logged as an application error; the collector then runs on with
    // what was set up. Terminate means the program must end (exitCode tells how).
    StartOutcome start();
    int exitCode() const { return m_exitCode; }

    // Closing steps; safe to call more than once.
    void close();

    // The application-wide failure handler: logs "Application error: " + message.
    void handleApplicationError(const QString& message);

    EventLog& log() { return m_log; }
    const SettingsStore& settings() const { return *m_settings; }
    OrvantaLink& orvanta() { return m_orvanta; }
    const CollectorState& state() const { return m_state; }
    CollectorState& state() { return m_state; }
    const InstallationLayout& layout() const { return m_env.layout; }

signals:
    // Another copy of the program asked this one to show its window.
    void showWindowRequested();

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
    void readDataClientPort();
    void setAnalyzerPort();
    void readIdReduction();
    void connectOrvanta();
    void createParameterCatalogue();
    void sweepPatientRegistry();
    void autoStartCollection();
    void connectToDataHost();
    void updateCaption();
    void readRelayHost();
    void applyRelayConnection();
    void activateAnalyzerServer();
    void logStartupSummary();
    void readExternalMediaDrive();

    CollectorEnvironment m_env;
    const Clock& m_clock;
    RegistryHives m_hives;
    std::unique_ptr<SettingsStore> m_settings;
    EventLog m_log;
    OrvantaLink m_orvanta;
    CollectorState m_state;
    bool m_terminate = false;
    int m_exitCode = 0;
    bool m_closed = false;
};
