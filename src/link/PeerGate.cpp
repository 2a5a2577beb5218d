#include "PeerGate.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <QAbstractSocket>

#include "Clock.h"
#include "EventLog.h"

PeerGate::PeerGate(EventLog& log, const Clock& clock) : m_log(log), m_clock(clock) {}

void PeerGate::setAllowed(const AllowedPeers& allowed) {
    m_allowed = allowed;
    m_lastLogged.clear();
    for (const QString& entry : m_allowed.malformed())
        m_log.writeLog(QStringLiteral("AllowedPeers: \"") + entry +
                       QStringLiteral("\" is neither an address nor an address range; ignored"));
    if (m_allowed.refusesEveryone())
        m_log.writeLog(QStringLiteral("AllowedPeers holds no usable entry; no peer is admitted "
                                      "until it is corrected"));
}

bool PeerGate::admit(const QAbstractSocket& connection, const QString& server) {
    const QHostAddress peer = connection.peerAddress();
    if (m_allowed.allows(peer))
        return true;
    const QString address = NetworkAddress::plain(peer).toString();
    const QDateTime now = m_clock.now();
    const QString key = server + u' ' + address;
    const auto last = m_lastLogged.constFind(key);
    if (last == m_lastLogged.cend() || last->secsTo(now) >= kRefusalLogSeconds ||
        last->secsTo(now) < 0) {
        if (m_lastLogged.size() >= kRememberedAddresses)
            m_lastLogged.clear(); // a flood from many addresses is logged again, not kept
        m_lastLogged.insert(key, now);
        m_log.writeLog(QStringLiteral("Connection from ") + address + QStringLiteral(" to the ") +
                       server + QStringLiteral(" refused: not in AllowedPeers"));
    }
    return false;
}

void PeerGate::acceptPending(QTcpServer& server, PeerGate* gate, const QString& serverName,
                             const std::function<bool(QTcpSocket&)>& refuse,
                             const std::function<void(QTcpSocket*)>& taken) {
    while (QTcpSocket* socket = server.nextPendingConnection()) {
        if ((gate != nullptr && !gate->admit(*socket, serverName)) || (refuse && refuse(*socket))) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        taken(socket);
    }
}
