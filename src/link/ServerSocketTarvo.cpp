#include "ServerSocketTarvo.h"

#include <stdexcept>

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpSocket>

#include "AnalyzerLinkHost.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "HousekeepingPause.h"
#include "LineFraming.h"
#include "LineReading.h"
#include "LinkStatus.h"
#include "PeerGate.h"
#include "TSimpleCounter.h"
#include "TSockets.h"
#include "TarvoError.h"
#include "XmlDispatcher.h"

namespace {

// How long a stop goes on reading what the system holds for the connections.
constexpr int kShutdownReadMs = 5000;

} // namespace

ServerSocketTarvo::ServerSocketTarvo(AnalyzerLinkHost& host, QObject* parent)
    : QObject(parent), m_host(host) {
    connect(&m_server, &QTcpServer::newConnection, this, &ServerSocketTarvo::onNewConnection);
}

ServerSocketTarvo::~ServerSocketTarvo() {
    for (const auto& connection : m_connections) {
        connection->socket->disconnect(this);
        connection->socket->abort();
        delete connection->socket;
    }
}

void ServerSocketTarvo::Activate() {
    if (m_server.isListening())
        return;
    if (!ValidPort(m_port))
        m_activationFailure = QStringLiteral("%1 is not a port number").arg(m_port);
    else if (m_server.listen(QHostAddress::Any, quint16(m_port)))
        m_activationFailure.clear();
    else
        m_activationFailure = m_server.errorString();
    if (!m_activationFailure.isEmpty())
        throw TarvoError(m_activationFailure);
}

void ServerSocketTarvo::Deactivate() {
    m_server.close();
    std::vector<QTcpSocket*> sockets;
    for (const auto& connection : m_connections)
        sockets.push_back(connection->socket);
    for (QTcpSocket* socket : sockets)
        socket->abort(); // each emits its disconnect and leaves the list
}

void ServerSocketTarvo::Shutdown() {
    m_stopping = true;
    // Reading what the system holds ends when nothing more is there at once, or, against a peer
    // that never stops sending, after this long.
    QDeadlineTimer deadline(kShutdownReadMs);
    while (m_server.isListening() && !deadline.hasExpired() && m_server.waitForNewConnection(0)) {
    }
    m_server.close();
    // Rounds over every connection until one round finds nothing more: what a peer sent while
    // another connection was being read is read too.
    for (qint64 before = -1; before != m_bytesReceived && !deadline.hasExpired();) {
        before = m_bytesReceived;
        std::vector<quint64> serials;
        for (const auto& connection : m_connections)
            serials.push_back(connection->serial);
        for (const quint64 serial : serials) {
            // What waits in the connection's buffer and for a continuation is handled first;
            // then each wait reads what the system holds for the connection and emits its read
            // event. A peer that has closed is finished there and leaves the list.
            while (Connection* connection = find(serial)) {
                onClientRead(*connection);
                connection = find(serial);
                if (connection == nullptr || deadline.hasExpired() ||
                    !connection->socket->waitForReadyRead(0))
                    break;
            }
        }
    }
    // What is left unread now (a peer that never stops sending) is discarded, and said so.
    for (const auto& connection : m_connections) {
        connection->socket->waitForReadyRead(0);
        const qint64 unread = connection->socket->bytesAvailable();
        if (unread > 0)
            m_host.log().writeLog(QStringLiteral("Connection from %1: %2 bytes that arrived while "
                                                 "the collector was stopping discarded")
                                      .arg(connection->identity)
                                      .arg(unread));
    }
    Deactivate();
    m_stopping = false;
}

QString ServerSocketTarvo::StateText() const {
    if (m_server.isListening())
        return QStringLiteral("listening on port ") + QString::number(m_port);
    return QStringLiteral("not listening on port ") + QString::number(m_port) +
           (m_activationFailure.isEmpty() ? QString() : QStringLiteral(": ") + m_activationFailure);
}

QStringList ServerSocketTarvo::ConnectionAddresses() const {
    QStringList addresses;
    for (const auto& connection : m_connections)
        addresses << connection->address;
    return addresses;
}

qsizetype ServerSocketTarvo::PendingCharacters() const {
    qsizetype total = 0;
    for (const auto& connection : m_connections)
        total += connection->pending.size() + connection->lines.unfinished();
    return total;
}

ServerSocketTarvo::Connection* ServerSocketTarvo::find(QTcpSocket* socket) {
    for (const auto& connection : m_connections) {
        if (connection->socket == socket)
            return connection.get();
    }
    return nullptr;
}

ServerSocketTarvo::Connection* ServerSocketTarvo::find(quint64 serial) {
    for (const auto& connection : m_connections) {
        if (connection->serial == serial)
            return connection.get();
    }
    return nullptr;
}

void ServerSocketTarvo::onNewConnection() {
    PeerGate::acceptPending(
        m_server, m_gate, QStringLiteral("analyzer server"),
        [this](QTcpSocket& socket) { return refuseOverLimit(socket); },
        [this](QTcpSocket* socket) { takeConnection(socket); });
}

void ServerSocketTarvo::takeConnection(QTcpSocket* socket) {
    socket->setReadBufferSize(kReadBufferSize);
    auto connection = std::make_unique<Connection>();
    connection->socket = socket;
    connection->serial = m_nextSerial++;
    connection->identity = ConnectionIdentity(socket);
    connection->address = connection->identity;
    const quint64 serial = connection->serial;
    m_connections.push_back(std::move(connection));

    connect(socket, &QTcpSocket::readyRead, this, [this, serial] {
        if (Connection* found = find(serial))
            onClientRead(*found);
    });
    connect(socket, &QTcpSocket::disconnected, this,
            [this, socket] { onClientDisconnect(socket); });
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError error) {
                // A wait for bytes that finds none (a stop reading what is there) is no
                // failure of the connection.
                if (error != QAbstractSocket::RemoteHostClosedError &&
                    error != QAbstractSocket::SocketTimeoutError)
                    m_host.reportApplicationError(
                        QStringLiteral("Asynchronous socket error ") + QString::number(int(error)) +
                        QStringLiteral(" (") + socket->errorString() + u')');
            });

    m_host.setNetworkRole(NetworkRole::AnalyzerLinked);
    m_host.linkStatus().Update();
    m_host.switchInterNetworkingOff();
    m_host.linkStatus().setNoNetworkLabelVisible(false);
    m_host.linkStatus().setConnectionLabel(QString());
    m_host.rebuildConnectionList(QString());
    Connection* added = find(serial);
    if (added == nullptr)
        return;
    emit clientConnected(added->identity);
    if (socket->bytesAvailable() > 0)
        onClientRead(*added);
}

bool ServerSocketTarvo::refuseOverLimit(QTcpSocket& socket) {
    if (qsizetype(m_connections.size()) < m_connectionLimit) {
        m_refusedOverLimit.clear();
        return false;
    }
    const QString address = ConnectionIdentity(&socket);
    if (!m_refusedOverLimit.contains(address)) {
        if (m_refusedOverLimit.size() >= kHighestConnectionLimit * 4)
            m_refusedOverLimit.clear(); // a flood from many addresses is logged again, not kept
        m_refusedOverLimit.insert(address);
        m_host.log().writeLog(QStringLiteral("Connection from %1 to the analyzer server refused: "
                                             "%2 analyzer connections are open, the limit set by "
                                             "AnalyzerConnectionLimit")
                                  .arg(address)
                                  .arg(m_connections.size()));
    }
    return true;
}

void ServerSocketTarvo::onClientDisconnect(QTcpSocket* socket) {
    Connection* connection = find(socket);
    if (connection == nullptr)
        return;
    if (m_host.state().busy && !m_stopping) {
        // What the connection still holds is read when reads may go on.
        connection->closed = true;
        return;
    }
    finishConnection(*connection);
}

void ServerSocketTarvo::finishConnection(Connection& connection) {
    // Bytes that arrived before the peer closed, and complete messages still waiting, are
    // handled before the connection goes.
    const bool wasStopping = m_stopping;
    m_stopping = true;
    onClientRead(connection);
    m_stopping = wasStopping;
    const qint64 unfinished = qint64(connection.pending.size()) * 2 +
                              (connection.decoder.hasCarriedByte() ? 1 : 0) +
                              connection.lines.unfinished();
    // Line ends or blanks behind the last message (as analyzers end a message) are no message.
    const bool blank = !connection.decoder.hasCarriedByte() &&
                       connection.pending.text().trimmed().isEmpty() &&
                       connection.lines.unfinished() == 0;
    if (unfinished > 0 && !blank)
        m_host.log().writeLog(QStringLiteral("Connection from %1 closed in the middle of a "
                                             "message; %2 bytes of unfinished text discarded")
                                  .arg(connection.identity)
                                  .arg(unfinished));
    if (m_host.state().protocol != AnalyzerProtocol::Xml)
        m_host.linesQueued(LineBatch{lineSource(connection), {}, true});
    QTcpSocket* socket = connection.socket;
    const QString identity = connection.identity;
    const QString address = connection.address;
    m_host.setNetworkRole(NetworkRole::Standalone);
    m_host.linkStatus().Update();
    m_host.linkStatus().setConnectionLabel(QStringLiteral("Disconnected"));
    m_host.rebuildConnectionList(address);
    const auto it = std::find_if(m_connections.begin(), m_connections.end(),
                                 [socket](const auto& c) { return c->socket == socket; });
    if (it != m_connections.end())
        m_connections.erase(it);
    socket->disconnect(this);
    socket->deleteLater();
    emit clientDisconnected(identity);
}

void ServerSocketTarvo::onClientRead(Connection& connection) {
    // While end points or a patient sweep are being written the bytes wait in the connection.
    if (m_host.state().busy && !m_stopping)
        return;
    if (m_host.state().protocol == AnalyzerProtocol::Xml)
        xmlRead(connection);
    else if (connection.socket->bytesAvailable() > 0)
        lineRead(connection);
}

void ServerSocketTarvo::ResumeReading() {
    std::vector<quint64> serials;
    for (const auto& connection : m_connections)
        serials.push_back(connection->serial);
    for (const quint64 serial : serials) {
        Connection* connection = find(serial);
        if (connection == nullptr)
            continue;
        if (connection->closed)
            finishConnection(*connection);
        else if (connection->continuing)
            continueConnection(serial);
        else if (connection->socket->bytesAvailable() > 0)
            onClientRead(*connection);
    }
}

void ServerSocketTarvo::xmlRead(Connection& connection) {
    // Bytes behind complete messages that still wait stay in the socket (the peer waits when
    // its buffer is full); the continuation reads them in turn.
    if (connection.continuing && !m_stopping)
        return;
    const HousekeepingPause pause(m_host);
    const QByteArray bytes = connection.socket->readAll();
    m_bytesReceived += bytes.size();
    handleXml(connection, connection.decoder.decode(bytes));
}

void ServerSocketTarvo::handleXml(Connection& connection, QString text) {
    XmlDispatcher& dispatcher = m_host.dispatcher();
    QString messages;
    bool more = false;
    const CollectingMessages collecting(dispatcher, m_host.forwardsToDataClients());
    while (true) {
        messages += dispatcher.Dispatch(text, connection.pending, connection.identity);
        text.clear();
        more = connection.pending.FindCompleteMessage();
        if (!more || !m_stopping)
            break;
    }
    if (!messages.isEmpty())
        m_host.forwardToDataClients(messages);
    if (more) {
        continueLater(connection);
    } else {
        connection.continuing = false;
        limitPending(connection);
    }
}

void ServerSocketTarvo::continueLater(Connection& connection) {
    if (connection.continuing)
        return;
    connection.continuing = true;
    const quint64 serial = connection.serial;
    QMetaObject::invokeMethod(
        this, [this, serial] { continueConnection(serial); }, Qt::QueuedConnection);
}

void ServerSocketTarvo::continueConnection(quint64 serial) {
    Connection* connection = find(serial);
    if (connection == nullptr || !connection->continuing)
        return;
    if (m_host.state().busy && !m_stopping)
        return; // reading resumes when Busy clears
    connection->continuing = false;
    {
        const HousekeepingPause pause(m_host);
        handleXml(*connection, QString());
    }
    if (!connection->continuing && connection->socket->bytesAvailable() > 0)
        xmlRead(*connection);
}

void ServerSocketTarvo::limitPending(Connection& connection) {
    const qsizetype size = connection.pending.size();
    const qsizetype dropped = connection.pending.enforceLimit(kPendingLimit);
    if (dropped > 0)
        m_host.log().writeLog(
            QStringLiteral("Unfinished text from %1 passed the limit of %2 characters for one "
                           "message (%3 characters); the oldest %4 characters were dropped")
                .arg(connection.identity)
                .arg(kPendingLimit)
                .arg(size)
                .arg(dropped));
    // All connections together: the largest unfinished text goes first.
    qsizetype total = PendingCharacters();
    while (total > kTotalPendingLimit) {
        Connection* largest = nullptr;
        for (const auto& candidate : m_connections) {
            if (!candidate->continuing &&
                (largest == nullptr || candidate->pending.size() > largest->pending.size()))
                largest = candidate.get();
        }
        if (largest == nullptr)
            break;
        const qsizetype held = largest->pending.size();
        const qsizetype removed = largest->pending.enforceLimit(0);
        if (removed == 0)
            break;
        total -= removed;
        m_host.log().writeLog(
            QStringLiteral("Unfinished text from %1 (%2 characters) dropped: the unfinished text "
                           "of all connections passed the limit of %3 characters")
                .arg(largest->identity)
                .arg(held)
                .arg(kTotalPendingLimit));
    }
}

void ServerSocketTarvo::lineRead(Connection& connection) {
    QByteArray chunk = connection.socket->readAll();
    m_bytesReceived += chunk.size();
    const CollectorState& state = m_host.state();
    TSimpleCounter& counter = m_host.dumpCounter();
    QFile dump(state.logFolder + QStringLiteral("Message") + QString::number(counter.Value()) +
               QStringLiteral(".txt"));
    if (dump.open(QIODevice::WriteOnly | QIODevice::Truncate))
        dump.write(chunk);
    counter.Advance();
    LineReading::take(m_host, connection.lines, chunk, connection.identity, lineSource(connection));
}

QString ServerSocketTarvo::lineSource(const Connection& connection) {
    return connection.identity + QStringLiteral(" #") + QString::number(connection.serial);
}
