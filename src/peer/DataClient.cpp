#include "DataClient.h"

#include <QHostAddress>
#include <QStringDecoder>

#include "AnalyzerLinkHost.h"
#include "Clock.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "HousekeepingPause.h"
#include "LinkStatus.h"
#include "NetworkAddress.h"
#include "ReverseLookup.h"
#include "ServerSocketTarvo.h"
#include "TSockets.h"
#include "Windows1252.h"
#include "XmlDispatcher.h"

namespace {

constexpr char kEndMarker[] = "</Tarvo>";
constexpr qsizetype kEndMarkerSize = sizeof(kEndMarker) - 1;

// Text from a data host is 8-bit text in the ANSI code page; a host that sends UTF-8 instead is
// understood as well. Only bytes that form valid UTF-8 with at least one character beyond
// ASCII are read as UTF-8: ANSI text with letters such as "Ö" is never valid UTF-8 in practice.
QString decodeHostText(const QByteArray& bytes) {
    bool ascii = true;
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (!ascii) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8.decode(bytes);
        if (!utf8.hasError()) {
            Windows1252::roundTrip(text); // as an analyzer's text would be
            return text;
        }
    }
    return Windows1252::decode(bytes);
}

} // namespace

bool DataClient::IsIPAddress(const QString& text) {
    return NetworkAddress::parseHost(text).has_value();
}

DataClient::DataClient(AnalyzerLinkHost& host, const Clock& clock, TargetSource target,
                       QObject* parent)
    : QObject(parent), m_host(host), m_clock(clock), m_target(std::move(target)) {
    connect(&m_socket, &QTcpSocket::connected, this, &DataClient::onConnected);
    connect(&m_socket, &QTcpSocket::disconnected, this, &DataClient::onDisconnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &DataClient::onReadyRead);
    // Errors are not acted upon: a data host that cannot be reached is retried by the countdown.
}

DataClient::~DataClient() {
    m_socket.disconnect(this);
    m_socket.abort();
}

QString DataClient::PeerAddress() const {
    return NetworkAddress::plain(m_socket.peerAddress()).toString();
}

void DataClient::Start() {
    const Target target = m_target ? m_target() : Target();
    if (target.enabled) {
        Close();
        const QString text = target.ipString.trimmed();
        const std::optional<QHostAddress> address = NetworkAddress::parseHost(text);
        if (address) {
            m_address = address->toString();
            m_hostName.clear();
        } else {
            m_hostName = text;
            m_address.clear();
        }
        // A text that is neither (such as "127.1", which a resolver would read as 127.0.0.1)
        // is not looked up: the data host is named by an address or a host name only.
        const bool usable = address || NetworkAddress::isHostName(text);
        if (!usable && !text.isEmpty() && text != m_reportedUnusable) {
            m_reportedUnusable = text;
            m_host.log().writeLog(QStringLiteral("IPString: \"") + text +
                                  QStringLiteral("\" is neither an address nor a host name; no "
                                                 "data host is connected"));
        }
        if (target.port >= 1 && target.port <= 65535 && usable) {
            if (address)
                m_socket.connectToHost(*address, quint16(target.port));
            else
                m_socket.connectToHost(m_hostName, quint16(target.port));
        }
    }
    m_countdown = kReconnectCountdown;
}

void DataClient::Close() {
    m_socket.abort(); // a connected socket reports its disconnect at once
    m_connected = false;
}

void DataClient::TimerTick() {
    const Target target = m_target ? m_target() : Target();
    if (!target.enabled)
        return;
    LinkStatus& status = m_host.linkStatus();
    if (m_connected && m_lastLifetick.msecsTo(m_clock.now()) > kLifetickLimitMs) {
        m_host.log().writeLog(QLatin1String(kLifetickMissing) + QStringLiteral(" from data host ") +
                              PeerAddress() + QStringLiteral("; the connection is closed"));
        Close();
        status.setConnectionLabel(QLatin1String(kLifetickMissing), true);
    }
    if (status.noNetworkLabelVisible() != !m_connected)
        status.setNoNetworkLabelVisible(!m_connected);
    if (!m_connected && --m_countdown < 0)
        Start();
}

void DataClient::onConnected() {
    m_connected = true;
    m_lastLifetick = m_clock.now();
    m_identity = ConnectionIdentity(&m_socket);
    m_unfinished.clear();
    m_pending.clear();
    m_host.setNetworkRole(NetworkRole::DataClient);
    m_peerHostName = m_hostName;
    m_host.log().writeLog(QStringLiteral("Connected to data host ") + PeerAddress() + u':' +
                          QString::number(m_socket.peerPort()));
    m_host.linkStatus().Update();
    emit connectedChanged(true);
    if (m_peerHostName.isEmpty()) {
        const QString address = PeerAddress();
        lookUpHostName(address, this, [this, address](const QString& name) {
            if (!m_connected || PeerAddress() != address)
                return;
            m_peerHostName = name;
            m_host.linkStatus().Update();
        });
    }
}

void DataClient::onDisconnected() {
    m_connected = false;
    m_host.log().writeLog(QStringLiteral("Disconnected from data host ") + m_identity);
    // Text of a message the host did not finish is of no use to the next connection.
    m_unfinished.clear();
    m_pending.clear();
    m_host.linkStatus().setConnectionLabel(QStringLiteral("Disconnected"));
    if (m_host.state().networkRole == NetworkRole::DataClient)
        m_host.setNetworkRole(NetworkRole::Standalone);
    m_host.linkStatus().Update();
    emit connectedChanged(false);
}

void DataClient::onReadyRead() {
    if (m_socket.bytesAvailable() > 0)
        m_lastLifetick = m_clock.now();
    read();
}

void DataClient::ResumeReading() {
    if (m_socket.bytesAvailable() > 0)
        read();
}

void DataClient::read() {
    // Messages handled here may run the event loop; bytes arriving meanwhile are read after.
    if (m_reading)
        return;
    const CollectorState& state = m_host.state();
    // While end points or a patient sweep are being written the bytes wait in the socket.
    if (state.busy)
        return;
    m_reading = true;
    while (m_socket.bytesAvailable() > 0 && !m_host.state().busy) {
        const QByteArray bytes = m_socket.readAll();
        m_bytesReceived += bytes.size();
        // Only a data client in the XML protocol takes messages from the host; otherwise what
        // it sends is read and dropped.
        if (m_host.state().networkRole == NetworkRole::DataClient &&
            m_host.state().protocol == AnalyzerProtocol::Xml)
            dispatch(bytes);
    }
    m_reading = false;
}

void DataClient::dispatch(const QByteArray& bytes) {
    m_unfinished += bytes;
    // Text is decoded up to the last end marker, so that no character is cut in two.
    const qsizetype end = m_unfinished.lastIndexOf(kEndMarker);
    if (end >= 0) {
        const qsizetype complete = end + kEndMarkerSize;
        const QString text = decodeHostText(m_unfinished.left(complete));
        m_unfinished.remove(0, complete);
        const HousekeepingPause pause(m_host);
        XmlDispatcher& dispatcher = m_host.dispatcher();
        dispatcher.Dispatch(text, m_pending, m_identity);
        while (m_pending.FindCompleteMessage())
            dispatcher.Dispatch(QString(), m_pending, m_identity);
        m_pending.enforceLimit(ServerSocketTarvo::kPendingLimit);
    }
    if (m_unfinished.size() > kUnfinishedLimit) {
        m_host.log().writeLog(QStringLiteral("Text from data host ") + m_identity +
                              QStringLiteral(" passed ") + QString::number(kUnfinishedLimit) +
                              QStringLiteral(" bytes without the end of a message; dropped"));
        m_unfinished.clear();
    }
}
