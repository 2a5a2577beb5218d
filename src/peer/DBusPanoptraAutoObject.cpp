#include "DBusPanoptraAutoObject.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include "OrvantaBusNames.h"

DBusPanoptraAutoObject::DBusPanoptraAutoObject(const QDBusConnection& bus, int timeoutMs)
    : m_bus(bus), m_timeoutMs(timeoutMs) {}

std::unique_ptr<IPanoptraAutoObject> DBusPanoptraAutoObject::create(const QDBusConnection& bus,
                                                                    int timeoutMs) {
    if (!bus.isConnected())
        throw EOrvantaCallFailed(QStringLiteral("the message bus is not available: ") +
                                 bus.lastError().message());
    const QDBusConnectionInterface* daemon = bus.interface();
    if (daemon == nullptr || !daemon->isServiceRegistered(QLatin1String(OrvantaBus::kService)))
        throw EOrvantaCallFailed(QStringLiteral("the automation server ") +
                                 QLatin1String(OrvantaBus::kService) +
                                 QStringLiteral(" is not running"));
    return std::unique_ptr<IPanoptraAutoObject>(new DBusPanoptraAutoObject(bus, timeoutMs));
}

void DBusPanoptraAutoObject::call(const QString& operation, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QLatin1String(OrvantaBus::kService), QLatin1String(OrvantaBus::kObjectPath),
        QLatin1String(OrvantaBus::kInterface), operation);
    message.setArguments(arguments);
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, m_timeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return;
    // The caller names the operation; the reason is enough here.
    const QString name = reply.errorName();
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
        throw EOrvantaCallFailed(QStringLiteral("no answer within %1 ms").arg(m_timeoutMs));
    const QString reason = reply.errorMessage().isEmpty() ? name : reply.errorMessage();
    throw EOrvantaCallFailed(reason);
}

void DBusPanoptraAutoObject::NotifyUpdate() {
    call(QStringLiteral("NotifyUpdate"), {});
}

void DBusPanoptraAutoObject::ReportCollectState(qint32 handle, qint32 state) {
    call(QStringLiteral("ReportCollectState"), {handle, state});
}

void DBusPanoptraAutoObject::AddEndPoint(qint32 handle, const QString& parameterName,
                                         const QString& unit, double time, qint32 reserved) {
    call(QStringLiteral("AddEndPoint"), {handle, parameterName, unit, time, reserved});
}

void DBusPanoptraAutoObject::AddResult(const QString& patientId, const QString& parameterName,
                                       const QString& measurementPlace, const QString& unit,
                                       double time, double value) {
    call(QStringLiteral("AddResult"),
         {patientId, parameterName, measurementPlace, unit, time, value});
}
