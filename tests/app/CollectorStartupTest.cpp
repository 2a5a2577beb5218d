#include <gtest/gtest.h>

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTimer>

#include "Clock.h"
#include "Collector.h"
#include "OperatorMessages.h"
#include "TempRoot.h"

namespace {

class RecordingMessages final : public OperatorMessages {
public:
    void showMessage(const QString& text) override { shown << text; }
    bool confirm(const QString&) override { return false; }
    QStringList shown;
};

class NullAutomation final : public IPanoptraAutoObject {
public:
    void NotifyUpdate() override {}
    void ReportCollectState(qint32, qint32) override {}
    void AddEndPoint(qint32, const QString&, const QString&, double, qint32) override {}
    void AddResult(const QString&, const QString&, const QString&, const QString&, double,
                   double) override {}
};

// The log lines without their time stamps.
QStringList messagesOf(const QStringList& lines) {
    QStringList messages;
    for (const QString& line : lines) {
        const qsizetype dash = line.indexOf(QStringLiteral(" - "));
        messages << (dash < 0 ? line : line.mid(dash + 3));
    }
    return messages;
}

class CollectorStartup : public ::testing::Test {
protected:
    std::unique_ptr<Collector>
    makeCollector(const QString& firstArgument = {},
                  std::function<void(const QString&)> startupErrorEcho = nullptr) {
        CollectorEnvironment environment;
        environment.startupErrorEcho = std::move(startupErrorEcho);
        environment.layout = root.layout();
        environment.executablePath = QStringLiteral("/opt/tarvo/bin/tarvo-collect");
        environment.firstArgument = firstArgument;
        environment.clock = &clock;
        environment.messages = &messages;
        environment.createAutomation = [this](RegistryRoot bus) {
            automationRequests << bus;
            if (automationFails)
                throw EOrvantaCallFailed("the automation server is not running");
            return std::make_unique<NullAutomation>();
        };
        return std::make_unique<Collector>(environment);
    }

    // The data-host server gets a free port of its own unless the test names one, so that a
    // test beside this one on the default port changes nothing here.
    void writeSettings(const QString& values) {
        QString all = values;
        if (!all.contains(QStringLiteral("ClientSocketPort=")))
            all += QStringLiteral("ClientSocketPort=dword:%1\n").arg(freeTcpPort() + 1);
        root.writeHive(RegistryRoot::CurrentUser, QString::fromLatin1(kTarvoSection) + all);
    }

    TempRoot root;
    ManualClock clock{QDateTime(QDate(2026, 12, 8), QTime(9, 30))};
    RecordingMessages messages;
    QList<RegistryRoot> automationRequests;
    bool automationFails = false;
};

} // namespace

TEST_F(CollectorStartup, DefaultsWithoutOrvantaLogTheStartupLinesInOrder) {
    const int port = freeTcpPort();
    // Every default but the two ports, which are free ones so that a collector or the service
    // running on this machine changes nothing (the default data-client port is read in
    // DataHostServerTest, the default analyzer port below).
    const int clientPort = freeTcpPort() + 1;
    writeSettings(
        QStringLiteral("Port=dword:%1\nClientSocketPort=dword:%2\n").arg(port).arg(clientPort));
    auto collector = makeCollector(QStringLiteral("noorvanta"));
    ASSERT_EQ(collector->start(), Collector::StartOutcome::Running);

    const QString dataRoot = root.driveC("TCA/DATA/");
    const QStringList expected = {
        QString(),
        QStringLiteral("Opening application /opt/tarvo/bin/tarvo-collect"),
        QStringLiteral("Trying to open ") + root.layout().iniFolder + "TarvoCollect.Ini",
        QStringLiteral("Trying to open the Orvanta 2.0 registry File path"),
        QStringLiteral("Trying to open the Orvanta 1.0 registry File path"),
        QStringLiteral("Falling back to default value"),
        QStringLiteral("Orvanta TCAData final value = ") + dataRoot,
        QStringLiteral("No Orvanta at start up"),
        QStringLiteral("New Caption = Tarvo Data Client (Ver. " TARVO_VERSION
                       "). , Communication Protocol =  XML"),
        QStringLiteral("Communication Protocol = XML"),
        QStringLiteral("No HostOther defined"),
        QStringLiteral("No Orvanta interface"),
        QStringLiteral("ServerSocketTarvo is active. Reading port %1").arg(port),
        QStringLiteral("Warning: AllowedPeers is empty, so every host on the network may connect "
                       "to the analyzer server (port %1) and the data-host server (port %2); "
                       "name the analyzers and stations in AllowedPeers")
            .arg(port)
            .arg(clientPort - 1),
    };
    EXPECT_EQ(messagesOf(collector->log().mainLines()), expected);
    EXPECT_TRUE(automationRequests.isEmpty()) << "NOORVANTA in any letter case switches it off";

    const CollectorState& state = collector->state();
    EXPECT_EQ(state.settingsRoot, RegistryRoot::CurrentUser);
    EXPECT_EQ(state.logFolder, root.driveC("TEMP/"));
    EXPECT_EQ(state.dataRoot, dataRoot);
    EXPECT_EQ(state.protocol, AnalyzerProtocol::Xml);
    EXPECT_EQ(collector->relayConnection(), RelayConnectionState::Disconnected);
    EXPECT_EQ(state.networkRole, NetworkRole::Standalone);
    EXPECT_EQ(state.dataClientPort, clientPort);
    EXPECT_EQ(state.dataHostServerPort, clientPort - 1);
    EXPECT_EQ(state.relayTimeoutSeconds, 10);
    EXPECT_TRUE(state.useTarvoSettings);
    EXPECT_EQ(state.stateChangeTime, clock.now());
    EXPECT_EQ(state.externalMediaMenuCaption, "Set External Media Drive (:\\)");

    collector->close();
    collector->close();
    EXPECT_EQ(messagesOf(collector->log().mainLines()).count(QStringLiteral("Closing application")),
              1);
}

TEST_F(CollectorStartup, SettingsShapeTheStateAndTheSummaryLines) {
    const int port = freeTcpPort();
    writeSettings(QStringLiteral("CommunicationProtocol=hl7telcor\n"
                                 "HostOther=lab-dm\n"
                                 "PortOther=dword:14100\n"
                                 "Port=dword:%1\n"
                                 "NoOrvanta=dword:1\n"
                                 "IDReduction=dword:2\n"
                                 "ClientSocketPort=dword:15000\n"
                                 "ExternalMediaDrive=e\n"
                                 "DebugFolder=C:\\Logs\\\n"
                                 "UseTarvoSettings=dword:0\n"
                                 "AutoHide=dword:1\n")
                      .arg(port));
    auto collector = makeCollector();
    ASSERT_EQ(collector->start(), Collector::StartOutcome::Running);
    const QStringList log = messagesOf(collector->log().mainLines());
    EXPECT_TRUE(log.contains(QStringLiteral("Communication Protocol = HL7Full")));
    EXPECT_TRUE(log.contains(QStringLiteral("HostOther = lab-dm:14100")));
    EXPECT_TRUE(log.contains(QStringLiteral("No Orvanta interface")));
    EXPECT_TRUE(
        log.contains(QStringLiteral("ServerSocketTarvo is active. Reading port %1").arg(port)));
    EXPECT_TRUE(log.contains(QStringLiteral("New Caption = Tarvo Data Client (Ver. " TARVO_VERSION
                                            "). , Communication Protocol = ASTM E-1381")));

    const CollectorState& state = collector->state();
    EXPECT_EQ(state.logFolder, root.driveC("Logs/"));
    EXPECT_TRUE(QFile::exists(root.driveC("Logs/Tarvo Logfile.txt")));
    EXPECT_EQ(state.idReduction, IdReduction::LastTen);
    EXPECT_EQ(state.dataHostServerPort, 14999);
    EXPECT_FALSE(state.useTarvoSettings);
    EXPECT_TRUE(state.autoHide);
    EXPECT_EQ(state.externalMediaMenuCaption, "Set External Media Drive (E:\\)");
    EXPECT_TRUE(automationRequests.isEmpty());
}

TEST_F(CollectorStartup, ProtocolNamesCompareUpperCased) {
    EXPECT_EQ(protocolFromSetting(QStringLiteral("hl7")), AnalyzerProtocol::Hl7);
    EXPECT_EQ(protocolFromSetting(QStringLiteral("HL7Telcor")), AnalyzerProtocol::AstmE1381);
    EXPECT_EQ(protocolFromSetting(QString()), AnalyzerProtocol::Xml);
    EXPECT_EQ(protocolFromSetting(QStringLiteral("ASTM")), AnalyzerProtocol::Xml);
}

TEST_F(CollectorStartup, OrvantaActivatedAtStartUpOnTheRootsBus) {
    const int port = freeTcpPort();
    root.writeHive(RegistryRoot::LocalMachine,
                   QString::fromLatin1(kTarvoSection) +
                       "HKEY=LOCAL_MACHINE\nPort=dword:" + QString::number(port) + "\n");
    auto collector = makeCollector();
    ASSERT_EQ(collector->start(), Collector::StartOutcome::Running);
    const QStringList log = messagesOf(collector->log().mainLines());
    EXPECT_TRUE(log.contains(QStringLiteral("Trying to connect to Orvanta")));
    EXPECT_TRUE(log.contains(QStringLiteral("Orvanta activated at start up")));
    EXPECT_TRUE(log.contains(QStringLiteral("Orvanta active")));
    EXPECT_TRUE(collector->orvanta().isActive());
    EXPECT_EQ(automationRequests, QList<RegistryRoot>{RegistryRoot::LocalMachine});
    EXPECT_EQ(collector->state().analyzerPort, port) << "settings come from the local machine";
}

TEST_F(CollectorStartup, MissingAutomationServerEndsTheProgram) {
    writeSettings(QStringLiteral("Port=dword:%1\n").arg(freeTcpPort()));
    automationFails = true;
    auto collector = makeCollector();
    EXPECT_EQ(collector->start(), Collector::StartOutcome::Terminate);
    EXPECT_NE(collector->exitCode(), 0);
    EXPECT_EQ(messages.shown,
              QStringList{QStringLiteral("Unable to start, please contact Keldamed AB")});
    EXPECT_FALSE(collector->orvanta().isActive());
    const QStringList log = messagesOf(collector->log().mainLines());
    EXPECT_TRUE(log.contains(QStringLiteral("Unable to start, please contact Keldamed AB")));
    EXPECT_FALSE(log.contains(QStringLiteral("Communication Protocol = XML")))
        << "start-up stops at the automation step";
}

TEST_F(CollectorStartup, LogFolderThatCannotBeCreatedIsLoggedInMemoryAndStartUpGoesOn) {
    writeSettings(
        QStringLiteral("DebugFolder=C:\\no\\such\\place\\\nPort=dword:%1\n").arg(freeTcpPort()));
    auto collector = makeCollector(QStringLiteral("NOORVANTA"));
    ASSERT_EQ(collector->start(), Collector::StartOutcome::Running);
    const QStringList log = messagesOf(collector->log().mainLines());
    ASSERT_FALSE(log.isEmpty());
    EXPECT_TRUE(log.first().startsWith(QStringLiteral("Error: ")));
    EXPECT_TRUE(log.contains(QStringLiteral("No Orvanta interface")));
}

TEST_F(CollectorStartup, ApplicationErrorsAreLoggedWithTheirPrefix) {
    writeSettings(QStringLiteral("Port=dword:%1\n").arg(freeTcpPort()));
    auto collector = makeCollector(QStringLiteral("NOORVANTA"));
    collector->start();
    collector->handleApplicationError(QStringLiteral("Address already in use"));
    EXPECT_TRUE(collector->log().mainLines().last().endsWith(
        QStringLiteral(" - Application error: Address already in use")));
}

TEST_F(CollectorStartup, PortInUseEndsStartUpAndTheMainTimerListensOnceItIsFree) {
    auto occupant = std::make_unique<QTcpServer>();
    ASSERT_TRUE(occupant->listen(QHostAddress::Any, 0));
    const int port = occupant->serverPort();
    writeSettings(QStringLiteral("Port=dword:%1\nTimerInterval=dword:50\n").arg(port));
    QStringList echoed;
    auto collector =
        makeCollector(QStringLiteral("NOORVANTA"), [&](const QString& line) { echoed << line; });
    EXPECT_EQ(collector->start(), Collector::StartOutcome::Running);
    const QStringList log = messagesOf(collector->log().mainLines());
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const QString& line) {
        return line.startsWith(
            QStringLiteral("Error(4): Error when trying to set IP port number ("));
    })) << log.join('\n').toStdString();
    ASSERT_TRUE(log.last().startsWith(QStringLiteral("Application error: ")));
    EXPECT_EQ(echoed, QStringList{log.last()}) << "start-up's application errors are echoed";
    EXPECT_FALSE(log.contains(QStringLiteral("Communication Protocol = XML")))
        << "start-up ends at the failing step";
    EXPECT_FALSE(collector->analyzerServer().Active());
    EXPECT_TRUE(collector->analyzerServer().StateText().startsWith(
        QStringLiteral("not listening on port %1: ").arg(port)))
        << collector->analyzerServer().StateText().toStdString();

    // The main timer runs all the same, and activates the server once the port is free.
    occupant.reset();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (collector->analyzerServer().Active())
            loop.quit();
    });
    poll.start(10);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    ASSERT_TRUE(collector->analyzerServer().Active());
    EXPECT_EQ(collector->analyzerServer().StateText(),
              QStringLiteral("listening on port %1").arg(port));
    EXPECT_EQ(messagesOf(collector->log().mainLines()).last(),
              QStringLiteral("ServerSocketTarvo is active. Reading port %1").arg(port));
    collector->handleApplicationError(QStringLiteral("later"));
    EXPECT_EQ(echoed.size(), 1) << "only the errors of start-up are echoed";
}

TEST_F(CollectorStartup, APortSettingThatIsNoPortNumberIsRefusedForTheDefault) {
    for (const QString& setting :
         {QStringLiteral("99999999"), QStringLiteral("0"), QStringLiteral("65536")}) {
        writeSettings(QStringLiteral("Port=dword:") + setting + u'\n');
        auto collector = makeCollector(QStringLiteral("NOORVANTA"));
        ASSERT_EQ(collector->start(), Collector::StartOutcome::Running);
        const QStringList log = messagesOf(collector->log().mainLines());
        EXPECT_TRUE(log.contains(QStringLiteral("Error(4): The setting Port = ") + setting +
                                 QStringLiteral(" is no port number (1 to 65535); using port "
                                                "13000")))
            << log.join('\n').toStdString();
        EXPECT_EQ(collector->state().analyzerPort, 13000) << setting.toStdString();
        EXPECT_EQ(collector->analyzerServer().Port(), 13000) << setting.toStdString();
        collector->close();
    }
}

TEST_F(CollectorStartup, ThePatientListIsRestoredFromTheRegistry) {
    const QString recent = clock.now().addSecs(-3600).toString("yyyyMMddHHmmss");
    const QString old = clock.now().addSecs(-30 * 3600).toString("yyyyMMddHHmmss");
    writeSettings(
        QStringLiteral("Port=dword:%1\nPatient1=Per^Son^P1^%2^1\nPatient2=Old^One^P2^%3^1\n")
            .arg(freeTcpPort())
            .arg(recent, old));
    auto collector = makeCollector(QStringLiteral("NOORVANTA"));
    ASSERT_EQ(collector->start(), Collector::StartOutcome::Running);
    ASSERT_EQ(collector->patients().Count(), 1);
    EXPECT_EQ(collector->patients().At(0).Patient.PatientID, "P1");
    EXPECT_TRUE(collector->patients().At(0).Checked);
    EXPECT_FALSE(collector->patients().At(0).Enabled);
    EXPECT_EQ(collector->settings().readText("Patient2"), "") << "the expired patient is gone";
}

TEST_F(CollectorStartup, AutoStartCollectsAndTheMainTimerWatchesTheLink) {
    writeSettings(QStringLiteral("Port=dword:%1\nAutoStart=dword:1\nTimerInterval=dword:50\n")
                      .arg(freeTcpPort()));
    auto collector = makeCollector();
    ASSERT_EQ(collector->start(), Collector::StartOutcome::Running);
    EXPECT_EQ(collector->state().collection, CollectionState::Collecting);
    EXPECT_FALSE(collector->state().autoStart) << "the in-memory flag is cleared";
    EXPECT_TRUE(collector->collectionControl().controls().trayIconWanted);
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(collector->state().collection, CollectionState::CollectingOffline)
        << "no analyzer connected: the main timer notices";
    EXPECT_EQ(collector->status().connectionLabel(), "Listening ...");
}

TEST_F(CollectorStartup, AnUnreadableSettingsFileStartsFromItsLastGoodCopyOrNotAtAll) {
    const int port = freeTcpPort();
    writeSettings(
        QStringLiteral("Port=dword:%1\nAllowedPeers=127.0.0.1\nAutoStart=dword:1\n").arg(port));
    const QString file = root.hives().fileOf(RegistryRoot::CurrentUser);
    {
        auto first = makeCollector(QStringLiteral("NOORVANTA"));
        ASSERT_EQ(first->start(), Collector::StartOutcome::Running);
        first->close();
    }
    ASSERT_TRUE(QFileInfo::exists(RegistryHives::lastGoodFileOf(file)));

    // Damaged between two runs: the copy's settings, with an error line.
    QFile damaged(file);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(2048, '\0'));
    damaged.close();
    {
        auto second = makeCollector(QStringLiteral("NOORVANTA"));
        ASSERT_EQ(second->start(), Collector::StartOutcome::Running);
        EXPECT_EQ(second->state().analyzerPort, port);
        EXPECT_EQ(second->settings().read(Setting::AllowedPeers), "127.0.0.1");
        const QStringList log = messagesOf(second->log().mainLines());
        const QStringList errors = log.filter(QStringLiteral("Error(1): The settings file "));
        ASSERT_EQ(errors.size(), 1) << log.join('\n').toStdString();
        EXPECT_TRUE(errors[0].contains(file));
        second->close();
    }

    // Damaged, and its copy gone too: no start on default settings.
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(2048, '\0'));
    damaged.close();
    QFile::remove(RegistryHives::lastGoodFileOf(file));
    auto third = makeCollector(QStringLiteral("NOORVANTA"));
    EXPECT_EQ(third->start(), Collector::StartOutcome::Terminate);
    EXPECT_EQ(third->exitCode(), Collector::kUnreadableSettingsExit);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains(file)) << messages.shown[0].toStdString();
    EXPECT_FALSE(third->analyzerServer().Active());
    EXPECT_EQ(QFileInfo(file).size(), 2048) << "the file is left for repair";
}
