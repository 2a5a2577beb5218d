#include "DataHostServer.h"

#include <stdexcept>

#include <QSet>
#include <QTcpSocket>

#include "EventLog.h"
#include "PeerGate.h"
#include "TSockets.h"
#include "TarvoError.h"
#include "Windows1252.h"

namespace {

// Stations send nothing the collector uses; what they send is read and dropped in small steps.
constexpr qint64 kStationReadBuffer = 4096;

} // namespace

DataHostServer::DataHostServer(EventLog& log, QObject* parent) : QObject(parent), m_log(log) {
    connect(&m_server, &QTcpServer::newConnection, this, &DataHostServer::onNewConnection);
    m_lifetick.setInterval(kDefaultLifetickMs);
    connect(&m_lifetick, &QTimer::timeout, this, &DataHostServer::sendLifeticks);
}

void DataHostServer::SetLifetickInterval(int ms) {
    m_lifetick.setInterval(ms);
}

void DataHostServer::sendLifeticks() {
    const QByteArray tick(kLifetick);
    std::vector<QTcpSocket*> stalled;
    for (const auto& station : m_stations) {
        if (m_sentSinceLifetick.contains(station->Socket()))
            continue;
        if (!station->Send(tick)) {
            logStalled(*station);
            stalled.push_back(station->Socket());
        }
    }
    m_sentSinceLifetick.clear();
    for (QTcpSocket* socket : stalled)
        cutOff(socket);
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
    m_activationFailure.clear();
    if (m_port < 1 || m_port > 65535)
        m_activationFailure = QStringLiteral("%1 is not a port number").arg(m_port);
    else if (!m_server.listen(QHostAddress::Any, quint16(m_port)))
        m_activationFailure = m_server.errorString();
    if (!m_activationFailure.isEmpty())
        throw TarvoError(m_activationFailure);
}

QString DataHostServer::StateText() const {
    if (m_server.isListening())
        return QStringLiteral("listening on port ") + QString::number(m_port) +
               QStringLiteral(", ") + QString::number(StationCount()) +
               (StationCount() == 1 ? QStringLiteral(" station") : QStringLiteral(" stations"));
    return QStringLiteral("not listening on port ") + QString::number(m_port) +
           (m_activationFailure.isEmpty() ? QString() : QStringLiteral(": ") + m_activationFailure);
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
    PeerGate::acceptPending(m_server, m_gate, QStringLiteral("data-host server"), {},
                            [this](QTcpSocket* socket) { takeStation(socket); });
}

void DataHostServer::takeStation(QTcpSocket* socket) {
    socket->setReadBufferSize(kStationReadBuffer);
    m_stations.push_back(
        std::make_unique<StationOutput>(socket, ConnectionIdentity(socket), m_outputLimit));
    connect(socket, &QTcpSocket::readyRead, this, [socket] {
        if (socket->isOpen())
            socket->readAll();
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { onDisconnected(socket); });
    if (!m_lifetick.isActive())
        m_lifetick.start();
    emit stationsChanged(QString());
}

void DataHostServer::onDisconnected(QTcpSocket* socket) {
    const auto it = std::find_if(m_stations.begin(), m_stations.end(),
                                 [socket](const auto& s) { return s->Socket() == socket; });
    if (it == m_stations.end())
        return;
    const QString address = (*it)->Address();
    m_stations.erase(it);
    m_sentSinceLifetick.remove(socket);
    if (m_stations.empty())
        m_lifetick.stop();
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
            m_sentSinceLifetick.insert(station->Socket());
            m_bytesForwarded += bytes.size();
        } else {
            logStalled(*station);
            stalled.push_back(station->Socket());
        }
    }
    for (QTcpSocket* socket : stalled)
        cutOff(socket);
}

void DataHostServer::logStalled(const StationOutput& station) {
    m_log.writeLog(
        QStringLiteral("Orvanta station ") + station.Address() +
        QStringLiteral(" does not take what is sent: ") + QString::number(station.Unsent()) +
        QStringLiteral(" bytes unsent passed the limit of ") + QString::number(station.Limit()) +
        QStringLiteral(" bytes; the connection is closed"));
}

void DataHostServer::cutOff(QTcpSocket* socket) {
    // Closing emits the disconnect, which takes the station off the list.
    socket->abort();
}
