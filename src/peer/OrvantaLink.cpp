#include "OrvantaLink.h"

#include "EventLog.h"
#include "OleDateTime.h"
#include "TarvoError.h"

namespace {
constexpr qint32 kHandle = 0;
constexpr qint32 kReserved = 0;
} // namespace

OrvantaLink::OrvantaLink(EventLog& log) : m_log(log) {}

void OrvantaLink::attach(std::unique_ptr<IPanoptraAutoObject> automation) {
    m_automation = std::move(automation);
    m_active = m_automation != nullptr;
}

void OrvantaLink::detach() {
    m_automation.reset();
    m_active = false;
}

template <typename Call>
bool OrvantaLink::attempt(const char* operation, const QString& detail, Call&& call,
                          bool clearOnFailure) {
    if (!m_active)
        return false;
    try {
        call(*m_automation);
        return true;
    } catch (const std::exception& error) {
        if (clearOnFailure)
            m_active = false;
        if (operation != nullptr)
            m_log.writeLog(QStringLiteral("Orvanta ") + QLatin1String(operation) +
                           QStringLiteral(" failed") + detail + QStringLiteral(": ") +
                           describeError(error) +
                           (clearOnFailure ? QStringLiteral("; no further Orvanta calls until "
                                                            "the collector is restarted")
                                           : QString()));
        return false;
    }
}

void OrvantaLink::notifyUpdate() {
    if (!m_active) {
        m_log.writeLog(QStringLiteral("No Orvanta update, not active"));
        return;
    }
    // A failed update ends the link without a line of its own; the next stored result logs
    // "No Orvanta update, not active".
    if (attempt(
            nullptr, QString(), [](IPanoptraAutoObject& automation) { automation.NotifyUpdate(); },
            true))
        m_log.writeLog(QStringLiteral("Orvanta update"));
}

bool OrvantaLink::reportCollectStateChange(OrvantaCollectState state) {
    return attempt(
        "ReportCollectState", QStringLiteral(" (state %1)").arg(qint32(state)),
        [state](IPanoptraAutoObject& automation) {
            automation.ReportCollectState(kHandle, qint32(state));
        },
        false);
}

void OrvantaLink::reportCollectingStarted() {
    attempt(
        "ReportCollectState", QStringLiteral(" (Start)"),
        [](IPanoptraAutoObject& automation) {
            automation.ReportCollectState(kHandle, qint32(OrvantaCollectState::Collecting));
        },
        true);
}

void OrvantaLink::addEndPoint(const QString& parameterName, const QString& unit,
                              const QDateTime& time) {
    const double oleTime = OleDateTime::fromDateTime(time);
    attempt(
        "AddEndPoint", QStringLiteral(" (") + parameterName + QStringLiteral(")"),
        [&](IPanoptraAutoObject& automation) {
            automation.AddEndPoint(kHandle, parameterName, unit, oleTime, kReserved);
        },
        true);
}

bool OrvantaLink::addResult(const QString& patientId, const QString& parameterName,
                            const QString& measurementPlace, const QString& unit,
                            const QDateTime& time, double value) {
    const double oleTime = OleDateTime::fromDateTime(time);
    return attempt(
        "AddResult",
        QStringLiteral(" for ") + patientId + u' ' + parameterName + u' ' + measurementPlace +
            QStringLiteral(" at ") + time.toString(Qt::ISODate),
        [&](IPanoptraAutoObject& automation) {
            automation.AddResult(patientId, parameterName, measurementPlace, unit, oleTime, value);
        },
        false);
}
