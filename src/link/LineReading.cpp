#include "LineReading.h"

#include "AnalyzerLinkHost.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "LineFraming.h"

void LineReading::take(AnalyzerLinkHost& host, LineFraming& framing, QByteArray chunk,
                       const QString& sender, const QString& source) {
    const CollectorState& state = host.state();
    if (state.filter194)
        chunk.replace(char(0xC2), QByteArray());
    LineFraming::Cut cut = framing.append(chunk);
    // The host receives each source's complete messages, never two sources' text interleaved.
    if (state.protocol == AnalyzerProtocol::Hl7 && state.relayEnabled && !cut.messages.isEmpty())
        host.relayPassThrough(cut.messages);
    if (cut.dropped > 0)
        host.log().writeLog(
            QStringLiteral("Record lines from %1 passed %2 bytes without an end of message; the "
                           "oldest %3 bytes were dropped")
                .arg(sender)
                .arg(LineFraming::kDefaultLimit)
                .arg(cut.dropped));
    host.linesQueued(LineBatch{source, std::move(cut.lines), false});
}
