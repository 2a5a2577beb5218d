#include "ServerSocketTarvo.h"

#include <stdexcept>

#include <QFile>
#include <QTcpSocket>

#include "AnalyzerLinkHost.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "LineFraming.h"
#include "LinkStatus.h"
#include "TSimpleCounter.h"
#include "TSockets.h"
#include "Windows1252.h"
#include "XmlDispatcher.h"

namespace {

// Stops the housekeeping timer for the length of one read.
class HousekeepingPause {
public:
    explicit HousekeepingPause(AnalyzerLinkHost& host) : m_host(host) {
        m_host.pauseHousekeeping(true);
    }
    ~HousekeepingPause() { m_host.pauseHousekeeping(false); }

private:
    AnalyzerLinkHost& m_host;
};

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
    if (!m_server.listen(QHostAddress::Any, quint16(m_port)))
        throw std::runtime_error(m_server.errorString().toStdString());
}

void ServerSocketTarvo::Deactivate() {
    m_server.close();
    std::vector<QTcpSocket*> sockets;
    for (const auto& connection : m_connections)
        sockets.push_back(connection->socket);
    for (QTcpSocket* socket : sockets)
        socket->abort(); // each emits its disconnect and leaves the list
}

QStringList ServerSocketTarvo::ConnectionAddresses() const {
    QStringList addresses;
    for (const auto& connection : m_connections)
        addresses << connection->address;
    return addresses;
}

ServerSocketTarvo::Connection* ServerSocketTarvo::find(QTcpSocket* socket) {
    for (const auto& connection : m_connections) {
        if (connection->socket == socket)
            return connection.get();
    }
    return nullptr;
}

void ServerSocketTarvo::onNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setReadBufferSize(kReadBufferSize);
        auto connection = std::make_unique<Connection>();
        connection->socket = socket;
        connection->identity = ConnectionIdentity(socket);
        connection->address = connection->identity;
        Connection* raw = connection.get();
        m_connections.push_back(std::move(connection));

        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (Connection* found = find(socket))
                onClientRead(*found);
        });
        connect(socket, &QTcpSocket::disconnected, this,
                [this, socket] { onClientDisconnect(socket); });
        connect(socket, &QTcpSocket::errorOccurred, this,
                [this, socket](QAbstractSocket::SocketError error) {
                    if (error != QAbstractSocket::RemoteHostClosedError)
                        m_host.reportApplicationError(QStringLiteral("Asynchronous socket error ") +
                                                      QString::number(int(error)) +
                                                      QStringLiteral(" (") + socket->errorString() +
                                                      u')');
                });

        CollectorState& state = m_host.state();
        state.networkRole = NetworkRole::AnalyzerLinked;
        m_host.linkStatus().Update();
        m_host.switchInterNetworkingOff();
        m_host.linkStatus().setNoNetworkLabelVisible(false);
        m_host.linkStatus().setConnectionLabel(QString());
        m_host.rebuildConnectionList(QString());
        emit clientConnected(raw->identity);
        if (socket->bytesAvailable() > 0)
            onClientRead(*raw);
    }
}

void ServerSocketTarvo::onClientDisconnect(QTcpSocket* socket) {
    const auto it = std::find_if(m_connections.begin(), m_connections.end(),
                                 [socket](const auto& c) { return c->socket == socket; });
    if (it == m_connections.end())
        return;
    const QString identity = (*it)->identity;
    const QString address = (*it)->address;
    m_host.state().networkRole = NetworkRole::Standalone;
    m_host.linkStatus().Update();
    m_host.linkStatus().setConnectionLabel(QStringLiteral("Disconnected"));
    m_host.rebuildConnectionList(address);
    m_connections.erase(it);
    socket->deleteLater();
    emit clientDisconnected(identity);
}

void ServerSocketTarvo::onClientRead(Connection& connection) {
    // While end points or a patient sweep are being written the bytes wait in the connection.
    if (m_host.state().busy)
        return;
    if (m_host.state().protocol == AnalyzerProtocol::Xml)
        xmlRead(connection);
    else
        lineRead(connection);
}

void ServerSocketTarvo::ResumeReading() {
    std::vector<QTcpSocket*> waiting;
    for (const auto& connection : m_connections) {
        if (connection->socket->bytesAvailable() > 0)
            waiting.push_back(connection->socket);
    }
    for (QTcpSocket* socket : waiting) {
        if (Connection* connection = find(socket))
            onClientRead(*connection);
    }
}

void ServerSocketTarvo::xmlRead(Connection& connection) {
    const HousekeepingPause pause(m_host);
    const QString identity = connection.identity;
    const QByteArray bytes = connection.socket->readAll();
    m_bytesReceived += bytes.size();
    const QString text = connection.decoder.decode(bytes);
    const QString messages = m_host.dispatcher().Dispatch(text, identity);
    TTarvoSocket& record = m_host.records().FindOrAdd(identity);
    const qsizetype dropped = record.Pending().enforceLimit(kPendingLimit);
    if (dropped > 0)
        m_host.log().writeLog(
            QStringLiteral("Unfinished text from %1 passed %2 characters without a complete "
                           "message; the oldest %3 characters were dropped")
                .arg(identity)
                .arg(kPendingLimit)
                .arg(dropped));
    if (!messages.isEmpty())
        m_host.forwardToDataClients(Windows1252::encode(messages));
}

void ServerSocketTarvo::lineRead(Connection& connection) {
    QByteArray chunk = connection.socket->readAll();
    m_bytesReceived += chunk.size();
    CollectorState& state = m_host.state();
    TSimpleCounter& counter = m_host.dumpCounter();
    QFile dump(state.logFolder + QStringLiteral("Message") + QString::number(counter.Value()) +
               QStringLiteral(".txt"));
    if (dump.open(QIODevice::WriteOnly | QIODevice::Truncate))
        dump.write(chunk);
    counter.Advance();
    if (state.filter194)
        chunk.replace(char(0xC2), QByteArray());
    if (state.protocol == AnalyzerProtocol::Hl7 && state.relayEnabled)
        m_host.relayPassThrough(chunk);
    const qsizetype dropped = m_host.lineFraming().append(chunk, m_host.theLines());
    if (dropped > 0)
        m_host.log().writeLog(
            QStringLiteral("Record lines from %1 passed %2 bytes without an end of message; the "
                           "oldest %3 bytes were dropped")
                .arg(connection.identity)
                .arg(LineFraming::kDefaultLimit)
                .arg(dropped));
    m_host.linesQueued();
}
