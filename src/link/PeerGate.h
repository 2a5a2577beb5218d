#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

#include "AllowedPeers.h"

class Clock;
class EventLog;
class QAbstractSocket;

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

private:
    EventLog& m_log;
    const Clock& m_clock;
    AllowedPeers m_allowed;
    QHash<QString, QDateTime> m_lastLogged; // by server and address
};
