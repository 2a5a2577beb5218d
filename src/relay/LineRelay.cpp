#include "LineRelay.h"

namespace {

LineParserContext withRelay(LineParserContext context, TRelayList& queue,
                            RelayTransport& transport) {
    context.relay = &queue;
    context.startRelayTimer = [&transport] {
        transport.StartSendTimer();
    };
    context.stopRelayTimer = [&transport] {
        transport.StopSendTimer();
    };
    return context;
}

} // namespace

LineRelay::LineRelay(LineParserContext context, std::function<void()> refreshCaption)
    : m_transport(RelayTransportContext{context.state, context.log, context.clock, m_queue,
                                        std::move(refreshCaption)}),
      m_parser(withRelay(context, m_queue, m_transport)) {}
