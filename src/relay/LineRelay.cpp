#include "LineRelay.h"

#include "Clock.h"
#include "CollectorState.h"
#include "EventLog.h"

namespace {

LineParserContext withRelay(LineParserContext context, TRelayList& queue,
                            RelayTransport& transport) {
    context.relay = &queue;
    context.startRelayTimer = [&transport] {
        transport.StartSendTimer();
    };
    return context;
}

} // namespace

LineRelay::LineRelay(LineParserContext context, std::function<void()> refreshCaption,
                     qsizetype queueLimit)
    : m_queue(
          context.state.dataRoot, queueLimit,
          [&log = context.log](const QString& line, LogSeverity severity) {
              log.writeLog(line, severity);
          },
          [&clock = context.clock] { return clock.now().date(); }),
      m_transport(RelayTransportContext{context.state, context.log, context.clock, m_queue,
                                        std::move(refreshCaption)}),
      m_parser(withRelay(context, m_queue, m_transport)) {
    m_queue.Log = [&log = context.log](const QString& line) {
        log.writeLog(line);
    };
    const qsizetype restored = m_queue.Load();
    if (restored > 0)
        context.log.writeLog(
            QStringLiteral("%1 relay entries not yet sent were taken back from ").arg(restored) +
            m_queue.JournalPath());
}
