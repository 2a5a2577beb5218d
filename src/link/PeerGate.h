#pragma once

#include <functional>

#include <QDateTime>
#include <QHash>
#include <QString>

#include "AllowedPeers.h"

class Clock;
class EventLog;
class QAbstractSocket;
class QTcpServer;
class QTcpSocket;

// Admits or refuses the peers that connect to the collector's servers by the AllowedPeers
// setting. A refused peer is logged once per address, server and hour, however often it tries.
class PeerGate {
public:
    static constexpr qint64 kRefusalLogSeconds = 3600;
    static constexpr qsizetype kRememberedAddresses = 4096;

    PeerGate(EventLog& log, const Clock& clock);

    // Takes a new list; each unreadable entry is one log line.
    void setAllowed(const QString& list) { setAllowed(AllowedPeers(list)); }
    void setAllowed(const AllowedPeers& allowed);
    const AllowedPeers& allowed() const { return m_allowed; }

    // Whether the connection may stay; a refusal is logged (server names the listening side).
    bool admit(const QAbstractSocket& connection, const QString& server);

    // Takes every connection waiting at the server: one the gate (when there is one) or the
    // server's own refusal turns away is closed at once; each other goes to taken.
    static void acceptPending(QTcpServer& server, PeerGate* gate, const QString& serverName,
                              const std::function<bool(QTcpSocket&)>& refuse,
                              const std::function<void(QTcpSocket*)>& taken);

private:
    EventLog& m_log;
    const Clock& m_clock;
    AllowedPeers m_allowed;
    QHash<QString, QDateTime> m_lastLogged; // by server and address
};
