#pragma once

#include <memory>

#include <QStringList>

#include "LineProtocolParser.h"
#include "TRelayList.h"

// The record-line protocols and the relay to a laboratory host, as the collector holds them:
// the line parser and the relay queue it feeds in the full-relay protocol.
class LineRelay {
public:
    explicit LineRelay(LineParserContext context);

    // The handler of "record lines are waiting".
    void LinesWaiting(QStringList& theLines) { m_parser.ProcessLineHL7(theLines); }

    LineProtocolParser& Parser() { return m_parser; }
    TRelayList& Queue() { return m_queue; }

private:
    TRelayList m_queue;
    LineProtocolParser m_parser;
};
