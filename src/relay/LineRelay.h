#pragma once

#include <functional>

#include <QStringList>

#include "LineProtocolParser.h"
#include "RelayTransport.h"
#include "StoredRelayList.h"

// The record-line protocols and the relay to a laboratory host, as the collector holds them:
// the line parser, the relay queue it feeds in the full-relay protocol, and the transport that
// sends the queue (or passes the analyzer's text through in the HL7 protocol).
class LineRelay {
public:
    // refreshCaption: the window caption shows the relay connection. The relay queue is kept in
    // the data root, at most queueLimit entries; what it held at the last run is taken back.
    LineRelay(LineParserContext context, std::function<void()> refreshCaption,
              qsizetype queueLimit);

    // The handler of "record lines are waiting".
    void LinesWaiting(std::deque<LineBatch>& batches) { m_parser.ProcessLineHL7(batches); }

    LineProtocolParser& Parser() { return m_parser; }
    TRelayList& Queue() { return m_queue; }
    RelayTransport& Transport() { return m_transport; }

private:
    StoredRelayList m_queue;
    RelayTransport m_transport;
    LineProtocolParser m_parser;
};
