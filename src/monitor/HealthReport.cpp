#include "HealthReport.h"

#include "ServiceFacts.h"

QJsonObject HealthReport::render(const ServiceFacts& facts) {
    QJsonObject checks;
    QJsonArray failing;
    const std::pair<const char*, const ServiceFacts::Check*> all[] = {
        {"analyzer_port", &facts.analyzerPort},
        {"data_root", &facts.dataRoot},
        {"event_log", &facts.eventLog},
        {"automation", &facts.automation}};
    for (const auto& [name, check] : all) {
        QJsonObject entry{{QStringLiteral("ok"), check->ok}};
        if (!check->ok) {
            entry.insert(QStringLiteral("problem"), check->problem);
            failing.append(QLatin1String(name));
        }
        checks.insert(QLatin1String(name), entry);
    }
    QJsonObject report{{QStringLiteral("status"),
                        facts.healthy() ? QStringLiteral("ok") : QStringLiteral("failing")},
                       {QStringLiteral("collection"), facts.collection},
                       {QStringLiteral("checks"), checks}};
    if (!failing.isEmpty())
        report.insert(QStringLiteral("failing"), failing);
    return report;
}
