#pragma once

#include <QByteArray>
#include <QString>

class AnalyzerLinkHost;
class LineFraming;

// What one read of a record-line source does with its bytes: drops the 0xC2 bytes when asked,
// cuts the source's complete messages, passes them through to the relay host in the HL7
// protocol, and queues their lines for the line handler under the source's name.
namespace LineReading {

void take(AnalyzerLinkHost& host, LineFraming& framing, QByteArray chunk, const QString& sender,
          const QString& source);

} // namespace LineReading
