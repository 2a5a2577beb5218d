#include "LineRelay.h"

namespace {

LineParserContext withQueue(LineParserContext context, TRelayList& queue) {
    context.relay = &queue;
    return context;
}

} // namespace

LineRelay::LineRelay(LineParserContext context)
    : m_parser(withQueue(std::move(context), m_queue)) {}
