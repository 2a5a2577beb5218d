#include "ServiceMonitor.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <QTemporaryFile>

#include "Collector.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "LineRelay.h"
#include "MessageDispatcher.h"
#include "PatientList.h"
#include "PeerGate.h"
#include "ResultProcessor.h"
#include "ServerSocketTarvo.h"
#include "ServiceNotifier.h"
#include "SettingKeys.h"
#include "SettingsStore.h"

ServiceMonitor::ServiceMonitor(Collector& collector, std::function<QJsonObject()> status,
                               QObject* parent)
    : QObject(parent), m_collector(collector),
      m_server({[this] { return facts(); }, std::move(status), {}}),
      m_started(QDateTime::currentDateTime()) {
    // The watchdog is fed while the event loop runs its timers; a hung loop stops feeding it.
    connect(&m_latency, &LoopLatency::alive, this, [] { ServiceNotifier::alive(); });
    m_stateTimer.setInterval(1000);
    connect(&m_stateTimer, &QTimer::timeout, this, &ServiceMonitor::followState);
}

void ServiceMonitor::start() {
    const SettingsStore& settings = m_collector.settings();
    const int port = settings.read(Setting::MonitorHttpPort);
    if (port > 0 && port <= 65535) {
        const QString text = settings.read(Setting::MonitorHttpAddress);
        QHostAddress address(text.isEmpty() ? QStringLiteral("127.0.0.1") : text);
        if (address.isNull()) {
            m_collector.log().writeError(QStringLiteral("Error: MonitorHttpAddress \"") + text +
                                         QStringLiteral("\" is not an address; the monitoring "
                                                        "endpoint listens on 127.0.0.1"));
            address = QHostAddress::LocalHost;
        }
        // Off the loopback, the peers AllowedPeers admits may ask.
        if (!address.isLoopback()) {
            PeerGate& gate = m_collector.peerGate();
            m_server.setAdmission(
                [&gate](const QHostAddress& peer) { return gate.allowed().allows(peer); });
        }
        const QString failure = m_server.listen(address, quint16(port));
        m_collector.log().writeLog(
            failure.isEmpty()
                ? QStringLiteral("Monitoring endpoint listens on http://%1:%2/ (/health, /metrics, "
                                 "/status)")
                      .arg(address.toString())
                      .arg(port)
                : QStringLiteral("Error: the monitoring endpoint cannot listen on %1:%2: %3")
                      .arg(address.toString())
                      .arg(port)
                      .arg(failure),
            failure.isEmpty() ? LogSeverity::Info : LogSeverity::Error);
    } else if (port != 0) {
        m_collector.log().writeError(
            QStringLiteral("Error: MonitorHttpPort %1 is not a port; the monitoring endpoint is "
                           "off")
                .arg(port));
    }
    m_lastStatus = statusLine();
    ServiceNotifier::ready(m_lastStatus);
    m_stateTimer.start();
}

void ServiceMonitor::stop() {
    m_stateTimer.stop();
    ServiceNotifier::stopping();
    m_server.close();
}

void ServiceMonitor::followState() {
    const QString line = statusLine();
    if (line == m_lastStatus)
        return;
    m_lastStatus = line;
    ServiceNotifier::status(line);
}

QString ServiceMonitor::statusLine() const {
    const CollectorState& state = m_collector.state();
    return collectionStateName(state.collection) +
           QStringLiteral(", %1 analyzer connections")
               .arg(m_collector.analyzerServer().ConnectionCount());
}

ServiceFacts::Check ServiceMonitor::dataRootCheck() const {
    const QString root = m_collector.state().dataRoot;
    if (root.isEmpty())
        return {false, QStringLiteral("no data root")};
    if (!QDir().mkpath(root))
        return {false, QStringLiteral("cannot create ") + QDir::toNativeSeparators(root)};
    QTemporaryFile probe(root + QStringLiteral(".tarvo-probe-XXXXXX"));
    if (!probe.open() || probe.write("x", 1) != 1 || !probe.flush())
        return {false, QStringLiteral("cannot write in ") + QDir::toNativeSeparators(root) +
                           QStringLiteral(": ") + probe.errorString()};
    return {};
}

ServiceFacts::Check ServiceMonitor::eventLogCheck() const {
    const QString path = m_collector.log().mainFilePath();
    if (path.isEmpty())
        return {false, QStringLiteral("the event log is not open")};
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return {false, QStringLiteral("cannot write ") + QDir::toNativeSeparators(path) +
                           QStringLiteral(": ") + file.errorString()};
    return {};
}

ServiceFacts ServiceMonitor::facts() const {
    ServiceFacts facts;
    Collector& collector = m_collector;
    const CollectorState& state = collector.state();
    facts.now = QDateTime::currentDateTime();
    facts.started = m_started;
    facts.collection = collectionStateName(state.collection);
    ServerSocketTarvo& server = collector.analyzerServer();
    if (!server.Active())
        facts.analyzerPort = {false, server.StateText()};
    facts.dataRoot = dataRootCheck();
    facts.eventLog = eventLogCheck();
    if (!state.noOrvanta && !collector.orvanta().isActive())
        facts.automation = {false, QStringLiteral("the Orvanta automation server is not active")};
    facts.connections = server.ConnectionCount();
    facts.connectionsTotal = server.ConnectionsAccepted();
    facts.unfinishedCharacters = server.PendingCharacters();
    const PatientListModel& patients = collector.patients();
    facts.patients = patients.Count();
    for (int i = 0; i < patients.Count(); ++i)
        facts.patientsCollected += patients.At(i).Checked ? 1 : 0;
    facts.rebuildsWaiting = collector.waitingRebuilds();
    facts.rebuildsDone = collector.rebuildsDone();
    if (collector.operational()) {
        const ResultProcessor& processor = collector.resultProcessor();
        facts.resultsReceived[QStringLiteral("live")] = processor.ResultCalls();
        facts.resultsReceived[QStringLiteral("document")] = processor.DocumentResults();
        facts.resultsStored = processor.StoredResults();
        facts.resultsStored.try_emplace(QStringLiteral("live"), 0);
        facts.resultsStored.try_emplace(QStringLiteral("document"), 0);
        facts.lastResultStored = processor.LastStored();
        const MessageDispatcher& dispatcher = collector.messageDispatcher();
        facts.refused[QStringLiteral("xml_message_failed")] = dispatcher.FailedMessages();
        facts.refused[QStringLiteral("xml_message_not_recognised")] =
            dispatcher.UnrecognisedMessages();
    }
    if (collector.hasLineRelay()) {
        LineRelay& relay = collector.lineRelay();
        facts.refused[QStringLiteral("line_message_failed")] = relay.Parser().FailedMessages();
        facts.refused[QStringLiteral("result_not_a_number_or_unnamed")] =
            relay.Parser().RefusedResults();
        facts.relayQueueEntries = relay.Queue().Count();
        facts.relayQueueMessages = relay.Queue().Messages();
        if (relay.Queue().OldestQueuedAt() > 0)
            facts.relayOldestQueued =
                QDateTime::fromMSecsSinceEpoch(relay.Queue().OldestQueuedAt());
        facts.relayDeadLetters = relay.Transport().DeadLetters();
        facts.relayConnected = relay.Transport().IsOpen();
    }
    const QStorageInfo storage(state.dataRoot);
    facts.dataRootFreeBytes = storage.isValid() ? storage.bytesAvailable() : -1;
    facts.eventLoopLatencySeconds = m_latency.seconds();
    return facts;
}
