#pragma once

#include <QByteArray>

struct ServiceFacts;

// The facts in the Prometheus text exposition format (version 0.0.4): one HELP and TYPE line per
// metric, names tarvo_..., counters ending in _total, times in seconds, sizes in bytes.
namespace MetricsText {

inline constexpr auto kContentType = "text/plain; version=0.0.4; charset=utf-8";

QByteArray render(const ServiceFacts& facts);

} // namespace MetricsText
