#pragma once

#include <QDBusConnection>
#include <QVariantList>

#include "IOrvanta_TLB.h"

// The automation object reached over D-Bus. Calls wait for the server's answer for at most
// the time-out; no answer in time counts as a failed call.
class DBusPanoptraAutoObject final : public IPanoptraAutoObject {
public:
    static constexpr int kDefaultTimeoutMs = 2000;

    // Fails with EOrvantaCallFailed when the bus cannot be reached or no server is on it.
    static std::unique_ptr<IPanoptraAutoObject> create(const QDBusConnection& bus,
                                                       int timeoutMs = kDefaultTimeoutMs);

    void NotifyUpdate() override;
    void ReportCollectState(qint32 handle, qint32 state) override;
    void AddEndPoint(qint32 handle, const QString& parameterName, const QString& unit, double time,
                     qint32 reserved) override;
    void AddResult(const QString& patientId, const QString& parameterName,
                   const QString& measurementPlace, const QString& unit, double time,
                   double value) override;

private:
    DBusPanoptraAutoObject(const QDBusConnection& bus, int timeoutMs);
    void call(const QString& operation, const QVariantList& arguments);

    QDBusConnection m_bus;
    int m_timeoutMs;
};
