#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "CollectorState.h"

class EventLog;
struct LineBatch;
class LinkStatus;
class TSimpleCounter;
class TSockets;
class XmlDispatcher;

// What the analyzer server needs from the collector that runs it.
class AnalyzerLinkHost {
public:
    virtual ~AnalyzerLinkHost() = default;

    virtual const CollectorState& state() const = 0;
    // An analyzer connected or went, a data host was reached or lost: the role the caption
    // and collection control read from the state.
    virtual void setNetworkRole(NetworkRole role) = 0;
    virtual EventLog& log() = 0;
    virtual TSockets& records() = 0;
    virtual XmlDispatcher& dispatcher() = 0;
    virtual TSimpleCounter& dumpCounter() = 0;
    virtual LinkStatus& linkStatus() = 0;

    // Rebuilds the connection list; connections with the excluded address are left out.
    virtual void rebuildConnectionList(const QString& excludedAddress) = 0;
    // A directly connected analyzer switches inter-networking off, also for later runs.
    virtual void switchInterNetworkingOff() = 0;
    // Complete record-line messages of one source join the line queue (the line handler is woken
    // by an event); a batch marked closed says the source has gone.
    virtual void linesQueued(LineBatch batch) = 0;
    // The housekeeping timer stops while a read is handled.
    virtual void pauseHousekeeping(bool paused) = 0;
    // The messages cut in one read go on to the connected data clients (encoded for them only
    // when one is connected).
    virtual void forwardToDataClients(const QString& messages) = 0;
    // Whether forwarded messages reach anyone now; when not, they are not gathered.
    virtual bool forwardsToDataClients() const { return true; }
    // Line-protocol bytes passed through to the relay host (HL7 relaying), when it is open.
    virtual void relayPassThrough(const QByteArray& chunk) = 0;
    virtual void reportApplicationError(const QString& message) = 0;
};
