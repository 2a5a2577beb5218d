#pragma once

#include <QJsonArray>
#include <QJsonObject>

struct ServiceFacts;

// The answer of /health: {"status":"ok"|"failing","checks":{name:{"ok":..,"problem":..}},
// "collection":...}; healthy when every check holds.
namespace HealthReport {

QJsonObject render(const ServiceFacts& facts);

} // namespace HealthReport
