#include "DataHostServer.h"

#include <stdexcept>

#include <QSet>
#include <QTcpSocket>

#include "EventLog.h"
#include "PeerGate.h"
#include "TSockets.h"
#include "Windows1252.h"

namespace {

// Stations send nothing the collector uses; what they send is read and dropped in small steps.
constexpr qint64 kStationReadBuffer = 4096;

} // namespace

DataHostServer::DataHostServer(EventLog& log, QObject* parent) : QObject(parent), m_log(log) {
    connect(&m_server, &QTcpServer::newConnection, this, &DataHostServer::onNewConnection);
}

DataHostServer::~DataHostServer() {
    for (const auto& station : m_stations) {
        station->Socket()->disconnect(this);
        station->Socket()->abort();
        delete station->Socket();
    }
}

void DataHostServer::Activate() {
    if (m_server.isListening())
        return;
    if (m_port < 1 || m_port > 65535)
        throw std::runtime_error(
            QStringLiteral("%1 is not a port number").arg(m_port).toStdString());
    if (!m_server.listen(QHostAddress::Any, quint16(m_port)))
        throw std::runtime_error(m_server.errorString().toStdString());
}

void DataHostServer::Deactivate() {
    m_server.close();
    std::vector<QTcpSocket*> sockets;
    for (const auto& station : m_stations)
        sockets.push_back(station->Socket());
    for (QTcpSocket* socket : sockets)
        socket->abort(); // each emits its disconnect and leaves the list
}

QStringList DataHostServer::StationAddresses() const {
    QStringList addresses;
    for (const auto& station : m_stations)
        addresses << station->Address();
    return addresses;
}

void DataHostServer::onNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (m_gate != nullptr && !m_gate->admit(*socket, QStringLiteral("data-host server"))) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setReadBufferSize(kStationReadBuffer);
        m_stations.push_back(
            std::make_unique<StationOutput>(socket, ConnectionIdentity(socket), m_outputLimit));
        connect(socket, &QTcpSocket::readyRead, this, [socket] {
            if (socket->isOpen())
                socket->readAll();
        });
        connect(socket, &QTcpSocket::disconnected, this,
                [this, socket] { onDisconnected(socket); });
        emit stationsChanged(QString());
    }
}

void DataHostServer::onDisconnected(QTcpSocket* socket) {
    const auto it = std::find_if(m_stations.begin(), m_stations.end(),
                                 [socket](const auto& s) { return s->Socket() == socket; });
    if (it == m_stations.end())
        return;
    const QString address = (*it)->Address();
    m_stations.erase(it);
    socket->disconnect(this);
    socket->deleteLater();
    emit stationsChanged(address);
}

void DataHostServer::Forward(const QString& messages) {
    if (m_stations.empty() || messages.isEmpty())
        return;
    const QByteArray bytes = Windows1252::encode(messages);
    QSet<QString> served;
    std::vector<QTcpSocket*> stalled;
    for (const auto& station : m_stations) {
        if (served.contains(station->Address()))
            continue;
        if (station->Send(bytes)) {
            // A later station from the address of one that was cut off is served instead.
            served.insert(station->Address());
            m_bytesForwarded += bytes.size();
        } else {
            m_log.writeLog(QStringLiteral("Orvanta station ") + station->Address() +
                           QStringLiteral(" does not take what is sent: ") +
                           QString::number(station->Unsent()) +
                           QStringLiteral(" bytes unsent passed the limit of ") +
                           QString::number(station->Limit()) +
                           QStringLiteral(" bytes; the connection is closed"));
            stalled.push_back(station->Socket());
        }
    }
    for (QTcpSocket* socket : stalled)
        cutOff(socket);
}

void DataHostServer::cutOff(QTcpSocket* socket) {
    // Closing emits the disconnect, which takes the station off the list.
    socket->abort();
}
