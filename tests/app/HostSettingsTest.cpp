#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>

#include "HostSettings.h"
#include "RunningCollector.h"

namespace {

QString settingsKey() {
    return QLatin1String(Setting::kKeyPath);
}

// The value as it stands in the hive file now.
QVariant stored(const TempRoot& root, RegistryRoot hive, const char* name) {
    const RegistryHives fresh(root.layout().currentUserHiveFile,
                              root.layout().localMachineHiveFile);
    return fresh.value(hive, settingsKey(), QLatin1String(name));
}

QString recentStamp() {
    return QDateTime::currentDateTime().addSecs(-3600).toString(QStringLiteral("yyyyMMddHHmmss"));
}

// Waits for the next connection to the server and returns it (owned by the server).
QTcpSocket* nextConnection(QTcpServer& server) {
    if (!waitUntil([&] { return server.hasPendingConnections(); }))
        return nullptr;
    return server.nextPendingConnection();
}

} // namespace

TEST(HostSettings, LoadShowsTheStoredSettingsAndThePortInUse) {
    TempRoot root;
    RunningCollector collector(
        root,
        QStringLiteral("AutoHide=dword:1\nIDReduction=dword:7\nInterNetworking=dword:1\n"
                       "IPString=10.0.0.7\nCommunicationProtocol=hl7telcor\n"
                       "NoOrvanta=dword:1\nRelayDataToHost=dword:1\nHostOther=lab\n"
                       "PortOther=dword:4000\nCommunicationTimeout=dword:33\n"
                       "MonitorNetworkLocation=dword:1\nDuplicateToNetworkLocation=D:\\X\\\n"));
    ASSERT_TRUE(collector.started);
    collector->settings().writeInteger(QStringLiteral("Port"), 1);
    const HostSettingsChoice choice = HostSettings::Load(*collector.collector);
    EXPECT_EQ(choice.originIndex, 0);
    EXPECT_TRUE(choice.autoHide);
    EXPECT_FALSE(choice.autoStart);
    EXPECT_TRUE(choice.autoCreate);
    EXPECT_EQ(choice.idReduction, 0) << "a stored reduction outside 0..2 shows as None";
    EXPECT_TRUE(choice.interNetworking);
    EXPECT_EQ(choice.ipString, "10.0.0.7");
    EXPECT_TRUE(choice.networkingEnabled);
    EXPECT_EQ(choice.port, collector.port) << "the port the server uses, not the setting";
    EXPECT_EQ(choice.protocolIndex, 2);
    EXPECT_FALSE(choice.orvantaInterface);
    EXPECT_TRUE(choice.relayDataToHost);
    EXPECT_EQ(choice.hostOther, "lab");
    EXPECT_EQ(choice.portOther, 4000);
    EXPECT_EQ(choice.communicationTimeout, 33);
    EXPECT_TRUE(choice.monitorNetworkLocation);
    EXPECT_EQ(choice.dataRoot, collector->state().dataRoot);
    EXPECT_EQ(choice.duplicateToNetworkLocation, "D:\\X\\");

    // A data client connected to this station's data-host server locks the networking box.
    collector->connectionList().rebuild({}, {QStringLiteral("127.0.0.9")});
    EXPECT_FALSE(HostSettings::Load(*collector.collector).networkingEnabled);
}

TEST(HostSettings, AnotherOriginCopiesEveryValueAndWritesEveryLaterValueUnderTheChosenRoot) {
    TempRoot root;
    RunningCollector collector(
        root, QStringLiteral("Interval=dword:45\nPatient1=Per^Son^P1^%1^1\n"
                             "AllowedPeers=127.0.0.1,10.1.2.0/24\nExternalMediaDrive=/media/card\n"
                             "Param0=3\nName3=Glucose\n")
                  .arg(recentStamp()));
    ASSERT_TRUE(collector.started);
    ASSERT_EQ(collector->patients().Count(), 1);
    // A stale value under the local machine that the settings in use do not hold.
    const RegistryHives hives(root.layout().currentUserHiveFile,
                              root.layout().localMachineHiveFile);
    SettingsStore(hives, RegistryRoot::LocalMachine)
        .writeText(QStringLiteral("HostOther"), QStringLiteral("stale"));
    SettingsStore(hives, RegistryRoot::LocalMachine)
        .writeText(QStringLiteral("SerialPort"), QStringLiteral("/dev/ttyS9"));
    const std::vector<std::pair<QString, QVariant>> before =
        hives.keyValues(RegistryRoot::CurrentUser, settingsKey());

    HostSettingsChoice choice = HostSettings::Load(*collector.collector);
    choice.originIndex = 1;
    choice.autoHide = false;
    choice.protocolIndex = 1;
    choice.hostOther = QStringLiteral("lab.example");
    HostSettings::Save(*collector.collector, choice, {});

    EXPECT_EQ(stored(root, RegistryRoot::LocalMachine, "HKEY").toString(), "LOCAL_MACHINE");
    EXPECT_EQ(collector->state().settingsRoot, RegistryRoot::LocalMachine);
    for (const char* name :
         {"AutoHide", "AutoStart", "InterNetworking", "IPString", "AutoCreate", "IDReduction",
          "Port", "RelayDataToHost", "IncludeChecksum", "HostOther", "PortOther", "Filter194",
          "CommunicationTimeout", "CommunicationProtocol", "NoOrvanta", "DuplicateXMLFiles",
          "DuplicateToNetworkLocation"}) {
        EXPECT_TRUE(stored(root, RegistryRoot::LocalMachine, name).isValid()) << name;
    }
    // Every value in use went along, also those the dialog does not show.
    for (const auto& [name, value] : before) {
        if (name == QLatin1String("AutoHide") || name == QLatin1String("CommunicationProtocol") ||
            name == QLatin1String("HostOther"))
            continue;
        EXPECT_EQ(stored(root, RegistryRoot::LocalMachine, qPrintable(name)), value)
            << name.toStdString();
    }
    EXPECT_EQ(stored(root, RegistryRoot::LocalMachine, "AllowedPeers").toString(),
              "127.0.0.1,10.1.2.0/24");
    EXPECT_TRUE(stored(root, RegistryRoot::LocalMachine, "ClientSocketPort").isValid());
    EXPECT_EQ(stored(root, RegistryRoot::LocalMachine, "ExternalMediaDrive").toString(),
              "/media/card");
    EXPECT_EQ(stored(root, RegistryRoot::LocalMachine, "Interval").toInt(), 45);
    EXPECT_TRUE(stored(root, RegistryRoot::LocalMachine, "Patient1").toString().contains("^P1^"));
    EXPECT_EQ(stored(root, RegistryRoot::LocalMachine, "Name3").toString(), "Glucose");
    EXPECT_EQ(stored(root, RegistryRoot::LocalMachine, "HostOther").toString(), "lab.example");
    EXPECT_EQ(stored(root, RegistryRoot::LocalMachine, "CommunicationProtocol").toString(), "HL7");
    EXPECT_FALSE(stored(root, RegistryRoot::LocalMachine, "SerialPort").isValid())
        << "a value the settings in use do not hold is not left behind";
    EXPECT_FALSE(stored(root, RegistryRoot::CurrentUser, "HKEY").isValid());
    EXPECT_EQ(stored(root, RegistryRoot::CurrentUser, "HostOther"), QVariant())
        << "the old root keeps its values as they were";

    // The next start under the new root runs with the same settings.
    const SettingsStore next(hives, SettingsStore::chooseRoot(hives));
    EXPECT_EQ(next.root(), RegistryRoot::LocalMachine);
    EXPECT_EQ(next.read(Setting::AllowedPeers), "127.0.0.1,10.1.2.0/24");
    EXPECT_EQ(next.read(Setting::Port), collector.port);

    // Whatever holds the settings follows the new root: the patient registry writes there too.
    collector->patientRegistry().SavePatientRegistry();
    EXPECT_TRUE(stored(root, RegistryRoot::LocalMachine, "Patient1").toString().contains("^P1^"));
    EXPECT_EQ(HostSettings::Load(*collector.collector).originIndex, 1);

    // And back: HKEY under the local machine names the current user again.
    choice.originIndex = 0;
    choice.autoStart = false;
    HostSettings::Save(*collector.collector, choice, {});
    EXPECT_EQ(stored(root, RegistryRoot::LocalMachine, "HKEY").toString(), "CURRENT_USER");
    EXPECT_EQ(collector->settings().root(), RegistryRoot::CurrentUser);
    EXPECT_EQ(stored(root, RegistryRoot::CurrentUser, "AutoStart").toInt(), 0);
    EXPECT_EQ(stored(root, RegistryRoot::CurrentUser, "HostOther").toString(), "lab.example");
}

TEST(HostSettings, EveryChangedValueIsLoggedWithItsOldAndNewValue) {
    TempRoot root;
    RunningCollector collector(root, QStringLiteral("HostOther=lab\n"));
    ASSERT_TRUE(collector.started);
    HostSettingsChoice choice = HostSettings::Load(*collector.collector);
    const int oldPort = choice.port;
    const int newPort = freeTcpPort();
    choice.port = newPort;
    choice.autoStart = !choice.autoStart;
    choice.hostOther = QStringLiteral("lab2");
    const int linesBefore = int(collector->log().mainLines().size());
    HostSettings::Save(*collector.collector, choice, {});
    QStringList changes =
        collector->log().mainLines().mid(linesBefore).filter(QStringLiteral(" - Setting "));
    for (QString& line : changes)
        line = line.mid(line.indexOf(QStringLiteral(" - ")) + 3);
    EXPECT_EQ(changes,
              (QStringList{
                  QStringLiteral("Setting AutoStart changed from %1 to %2")
                      .arg(int(!choice.autoStart))
                      .arg(int(choice.autoStart)),
                  QStringLiteral("Setting Port changed from %1 to %2").arg(oldPort).arg(newPort),
                  QStringLiteral("Setting HostOther changed from \"lab\" to \"lab2\""),
              }));

    // Saving again without a change adds no line; a command's change is logged too.
    const int linesAfter = int(collector->log().mainLines().size());
    HostSettings::Save(*collector.collector, choice, {});
    EXPECT_TRUE(collector->log().mainLines().mid(linesAfter).filter(" - Setting ").isEmpty());
    ASSERT_TRUE(collector->setExternalMediaDrive(QStringLiteral("F")));
    EXPECT_EQ(collector->log().mainLines().filter(" - Setting ExternalMediaDrive").size(), 1);
}

TEST(HostSettings, ConfirmedValuesAreTakenIntoUse) {
    TempRoot root;
    RunningCollector collector(root);
    ASSERT_TRUE(collector.started);
    HostSettingsChoice choice = HostSettings::Load(*collector.collector);
    choice.autoCreate = false;
    choice.idReduction = 2;
    choice.filter194 = true;
    choice.communicationTimeout = 77;
    choice.includeChecksum = true;
    choice.duplicateXmlFiles = true;
    choice.duplicateToNetworkLocation = QStringLiteral("C:\\Share\\Copies");
    HostSettings::Save(*collector.collector, choice, {});

    const CollectorState& state = collector->state();
    EXPECT_FALSE(state.autoCreate);
    EXPECT_EQ(state.idReduction, IdReduction::LastTen);
    EXPECT_TRUE(state.filter194);
    EXPECT_EQ(state.relayTimeoutSeconds, 77);
    EXPECT_TRUE(state.includeChecksum);
    EXPECT_TRUE(collector->lineRelay().Queue().IncludeChecksum);
    EXPECT_TRUE(state.duplicateXmlFiles);
    EXPECT_EQ(state.duplicateLocation, root.driveC("Share/Copies/"))
        << "the folder text in native form with its separator";
    EXPECT_EQ(stored(root, RegistryRoot::CurrentUser, "DuplicateToNetworkLocation").toString(),
              "C:\\Share\\Copies")
        << "stored as entered";
    EXPECT_EQ(stored(root, RegistryRoot::CurrentUser, "IDReduction").toInt(), 2);
}

TEST(HostSettings, MonitoringIsAskedAboutAfterItsValueIsWrittenAndBeforeThePortChanges) {
    TempRoot root;
    RunningCollector collector(root);
    ASSERT_TRUE(collector.started);
    HostSettingsChoice choice = HostSettings::Load(*collector.collector);
    const int oldPort = collector.port;
    choice.monitorNetworkLocation = true;
    choice.duplicateXmlFiles = true;
    choice.autoCreate = false;
    choice.port = freeTcpPort();
    int asked = 0;
    HostSettings::Save(*collector.collector, choice, [&] {
        ++asked;
        EXPECT_EQ(stored(root, RegistryRoot::CurrentUser, "MonitorNetworkLocation").toInt(), 1);
        EXPECT_EQ(stored(root, RegistryRoot::CurrentUser, "DuplicateXMLFiles").toInt(), 1);
        EXPECT_TRUE(collector->state().monitorNetworkLocation);
        EXPECT_EQ(collector->analyzerServer().Port(), oldPort) << "the port changes afterwards";
        EXPECT_TRUE(collector->state().autoCreate) << "patient creation changes afterwards";
        return false;
    });
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(collector->analyzerServer().Port(), choice.port);
    EXPECT_TRUE(collector->analyzerServer().Active());

    // Unchanged monitoring asks nothing; switching it off asks nothing either.
    HostSettings::Save(*collector.collector, choice, [&] { return ++asked, true; });
    choice.monitorNetworkLocation = false;
    HostSettings::Save(*collector.collector, choice, [&] { return ++asked, true; });
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(collector->state().monitorNetworkLocation);
    EXPECT_EQ(stored(root, RegistryRoot::CurrentUser, "MonitorNetworkLocation").toInt(), 0);
}

TEST(HostSettings, ABusyPortIsLoggedAndTheHousekeepingTimerTakesItOnceItIsFree) {
    TempRoot root;
    RunningCollector collector(root, QStringLiteral("TimerInterval=dword:50\n"));
    ASSERT_TRUE(collector.started);
    auto blocker = std::make_unique<QTcpServer>();
    ASSERT_TRUE(blocker->listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    const int busy = blocker->serverPort();

    collector->suspendHousekeeping(); // as while the dialog is open
    HostSettingsChoice choice = HostSettings::Load(*collector.collector);
    choice.port = busy;
    HostSettings::Save(*collector.collector, choice, {});
    EXPECT_TRUE(collector.logged("Error(5): Error when trying to set IP port number"));
    EXPECT_FALSE(collector->analyzerServer().Active());
    EXPECT_EQ(collector->analyzerServer().Port(), busy);
    EXPECT_EQ(stored(root, RegistryRoot::CurrentUser, "Port").toInt(), busy);

    blocker.reset();
    // Paused, the timer leaves the server alone (a few of its periods).
    waitUntil([] { return false; }, 300);
    EXPECT_FALSE(collector->analyzerServer().Active());
    collector->resumeHousekeeping();
    ASSERT_TRUE(waitUntil([&] { return collector->analyzerServer().Active(); }));
    EXPECT_TRUE(
        collector.logged(QStringLiteral("ServerSocketTarvo is active. Reading port %1").arg(busy)));
    QTcpSocket analyzer;
    analyzer.connectToHost(QHostAddress::LocalHost, quint16(busy));
    EXPECT_TRUE(analyzer.waitForConnected(5000));
}

TEST(HostSettings, AnotherProtocolClosesTheRelayConnectionAndOpensItAgain) {
    TempRoot root;
    QTcpServer relayHost;
    ASSERT_TRUE(relayHost.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    RunningCollector collector(root,
                               QStringLiteral("CommunicationProtocol=HL7\nRelayDataToHost=dword:1\n"
                                              "HostOther=127.0.0.1\nPortOther=dword:%1\n")
                                   .arg(relayHost.serverPort()));
    ASSERT_TRUE(collector.started);
    QTcpSocket* first = nextConnection(relayHost);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(waitUntil([&] {
        return collector->lineRelay().Transport().Connection() == RelayConnectionState::Connected;
    }));

    // The same relay host with the same protocol keeps its connection.
    HostSettingsChoice choice = HostSettings::Load(*collector.collector);
    HostSettings::Save(*collector.collector, choice, {});
    EXPECT_EQ(first->state(), QAbstractSocket::ConnectedState);
    EXPECT_FALSE(relayHost.hasPendingConnections());

    choice.protocolIndex = 2;
    HostSettings::Save(*collector.collector, choice, {});
    EXPECT_EQ(collector->state().protocol, AnalyzerProtocol::AstmE1381);
    EXPECT_EQ(stored(root, RegistryRoot::CurrentUser, "CommunicationProtocol").toString(),
              "HL7Telcor");
    EXPECT_TRUE(waitUntil([&] { return first->state() != QAbstractSocket::ConnectedState; }))
        << "the old connection is closed";
    EXPECT_NE(nextConnection(relayHost), nullptr) << "and a new one opened";
}

TEST(HostSettings, ANewRelayHostIsTakenIntoUse) {
    TempRoot root;
    QTcpServer oldHost;
    QTcpServer newHost;
    ASSERT_TRUE(oldHost.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    ASSERT_TRUE(newHost.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    RunningCollector collector(
        root, QStringLiteral("CommunicationProtocol=HL7Telcor\nRelayDataToHost=dword:1\n"
                             "HostOther=127.0.0.1\nPortOther=dword:%1\n")
                  .arg(oldHost.serverPort()));
    ASSERT_TRUE(collector.started);
    ASSERT_NE(nextConnection(oldHost), nullptr);
    HostSettingsChoice choice = HostSettings::Load(*collector.collector);
    choice.portOther = newHost.serverPort();
    HostSettings::Save(*collector.collector, choice, {});
    EXPECT_EQ(collector->state().relayPort, newHost.serverPort());
    EXPECT_NE(nextConnection(newHost), nullptr);
}

TEST(HostSettings, SavingReadsAllowedPeersAgainAndLogsItsUnreadableEntriesAgain) {
    TempRoot root;
    RunningCollector collector(root, QStringLiteral("AllowedPeers=127.1,127.0.0.1\n"));
    ASSERT_TRUE(collector.started);
    const QString unreadable =
        QStringLiteral("AllowedPeers: \"127.1\" is neither an address nor an address range");
    EXPECT_EQ(collector.loggedCount(unreadable), 1);

    // Corrected by hand while the collector runs; the next save takes the list into use.
    collector->settings().writeText(QStringLiteral("AllowedPeers"), QStringLiteral("127.0.0.2"));
    HostSettings::Save(*collector.collector, HostSettings::Load(*collector.collector), {});
    EXPECT_EQ(collector.loggedCount(unreadable), 1);
    EXPECT_FALSE(collector->peerGate().allowed().allows(QHostAddress(QStringLiteral("127.0.0.1"))));
    EXPECT_TRUE(collector->peerGate().allowed().allows(QHostAddress(QStringLiteral("127.0.0.2"))));

    collector->settings().writeText(QStringLiteral("AllowedPeers"), QStringLiteral("127.1"));
    HostSettings::Save(*collector.collector, HostSettings::Load(*collector.collector), {});
    EXPECT_EQ(collector.loggedCount(unreadable), 2);
    EXPECT_TRUE(collector->peerGate().allowed().refusesEveryone());
}
