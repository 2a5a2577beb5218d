#pragma once

#include <QDateTime>
#include <QStringList>

#include "IOrvanta_TLB.h"
#include "OleDateTime.h"

// An automation server in the test's memory: every call is written to the list as one line.
class RecordingAutomation final : public IPanoptraAutoObject {
public:
    explicit RecordingAutomation(QStringList& calls, bool refuseStates = false)
        : m_calls(calls), m_refuse(refuseStates) {}

    void NotifyUpdate() override { m_calls << QStringLiteral("NotifyUpdate"); }
    void ReportCollectState(qint32 handle, qint32 state) override {
        m_calls << QStringLiteral("ReportCollectState %1 %2").arg(handle).arg(state);
        if (m_refuse)
            throw EOrvantaCallFailed("refused");
    }
    void AddEndPoint(qint32 handle, const QString& name, const QString& unit, double time,
                     qint32 reserved) override {
        m_calls << QStringLiteral("AddEndPoint %1 %2 %3 %4 %5")
                       .arg(handle)
                       .arg(name, unit)
                       .arg(OleDateTime::toDateTime(time).toString(Qt::ISODate))
                       .arg(reserved);
    }
    void AddResult(const QString& patientId, const QString& parameter, const QString& place,
                   const QString& unit, double time, double value) override {
        m_calls << QStringLiteral("AddResult %1 %2 %3 %4 %5 %6")
                       .arg(patientId, parameter, place, unit)
                       .arg(OleDateTime::toDateTime(time).toString(Qt::ISODate))
                       .arg(value);
    }

private:
    QStringList& m_calls;
    bool m_refuse;
};
