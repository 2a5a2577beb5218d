#include "AutomationStub.h"

#include <QDBusMessage>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

AutomationStub::AutomationStub(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_log(m_options.logFile) {}

bool AutomationStub::openLog(QString* error) {
    if (m_options.logFile.isEmpty())
        return true;
    if (m_log.open(QIODevice::Append | QIODevice::Text))
        return true;
    *error = m_log.errorString();
    return false;
}

void AutomationStub::record(const QString& operation, const QVariantList& arguments) {
    ++m_callCount;
    const bool fail =
        m_options.failingOperations.contains(operation) || m_options.failingCall == m_callCount;
    if (m_options.delayMs > 0)
        QThread::msleep(ulong(m_options.delayMs));
    if (m_log.isOpen()) {
        const QJsonObject line{
            {QStringLiteral("operation"), operation},
            {QStringLiteral("arguments"), QJsonArray::fromVariantList(arguments)},
            {QStringLiteral("time"), QDateTime::currentDateTime().toString(Qt::ISODateWithMs)},
            {QStringLiteral("call"), m_callCount},
            {QStringLiteral("failed"), fail},
        };
        m_log.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
        m_log.flush();
    }
    if (fail && calledFromDBus())
        sendErrorReply(QDBusError::Failed, operation + QStringLiteral(" refused by the stub"));
}

void AutomationStub::NotifyUpdate() {
    record(QStringLiteral("NotifyUpdate"), {});
}

void AutomationStub::ReportCollectState(int handle, int state) {
    record(QStringLiteral("ReportCollectState"), {handle, state});
}

void AutomationStub::AddEndPoint(int handle, const QString& parameterName, const QString& unit,
                                 double time, int reserved) {
    record(QStringLiteral("AddEndPoint"), {handle, parameterName, unit, time, reserved});
}

void AutomationStub::AddResult(const QString& patientId, const QString& parameterName,
                               const QString& measurementPlace, const QString& unit, double time,
                               double value) {
    record(QStringLiteral("AddResult"),
           {patientId, parameterName, measurementPlace, unit, time, value});
}
