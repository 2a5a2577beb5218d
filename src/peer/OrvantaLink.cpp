#include "OrvantaLink.h"

#include "EventLog.h"
#include "OleDateTime.h"

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

template <typename Call> bool OrvantaLink::attempt(Call&& call, bool clearOnFailure) {
    if (!m_active)
        return false;
    try {
        call(*m_automation);
        return true;
    } catch (const std::exception&) {
        if (clearOnFailure)
            m_active = false;
        return false;
    }
}

void OrvantaLink::notifyUpdate() {
    if (!m_active) {
        m_log.writeLog(QStringLiteral("No Orvanta update, not active"));
        return;
    }
    if (attempt([](IPanoptraAutoObject& automation) { automation.NotifyUpdate(); }, true))
        m_log.writeLog(QStringLiteral("Orvanta update"));
}

bool OrvantaLink::reportCollectStateChange(OrvantaCollectState state) {
    return attempt(
        [state](IPanoptraAutoObject& automation) {
            automation.ReportCollectState(kHandle, qint32(state));
        },
        false);
}

void OrvantaLink::reportCollectingStarted() {
    attempt(
        [](IPanoptraAutoObject& automation) {
            automation.ReportCollectState(kHandle, qint32(OrvantaCollectState::Collecting));
        },
        true);
}

void OrvantaLink::addEndPoint(const QString& parameterName, const QString& unit,
                              const QDateTime& time) {
    const double oleTime = OleDateTime::fromDateTime(time);
    attempt(
        [&](IPanoptraAutoObject& automation) {
            automation.AddEndPoint(kHandle, parameterName, unit, oleTime, kReserved);
        },
        true);
}

void OrvantaLink::addResult(const QString& patientId, const QString& parameterName,
                            const QString& measurementPlace, const QString& unit,
                            const QDateTime& time, double value) {
    if (!m_active)
        return;
    m_automation->AddResult(patientId, parameterName, measurementPlace, unit,
                            OleDateTime::fromDateTime(time), value);
}
