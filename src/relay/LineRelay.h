#pragma once

#include <functional>

#include <QStringList>

#include "LineProtocolParser.h"
#include "RelayTransport.h"
#include "TRelayList.h"

// The record-line protocols and the relay to a laboratory host, as the collector holds them:
// the line parser, the relay queue it feeds in the full-relay protocol, and the transport that
// sends the queue (or passes the analyzer's text through in the HL7 protocol).
class LineRelay {
public:
    // refreshCaption: the window caption shows the relay connection.
    LineRelay(LineParserContext context, std::function<void()> refreshCaption);

    // The handler of "record lines are waiting".
    void LinesWaiting(QStringList& theLines) { m_parser.ProcessLineHL7(theLines); }

    LineProtocolParser& Parser() { return m_parser; }
    TRelayList& Queue() { return m_queue; }
    RelayTransport& Transport() { return m_transport; }

private:
    TRelayList m_queue;
    RelayTransport m_transport;
    LineProtocolParser m_parser;
};
