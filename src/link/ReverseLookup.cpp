#include "ReverseLookup.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QPointer>
#include <QThreadPool>

void lookUpHostName(const QString& address, QObject* context,
                    std::function<void(const QString& hostName)> callback) {
    QPointer<QObject> guard(context);
    QThreadPool::globalInstance()->start([address, guard, callback = std::move(callback)] {
        const QHostInfo info = QHostInfo::fromName(address);
        const QString name = info.error() == QHostInfo::NoError && info.hostName() != address
                                 ? info.hostName()
                                 : QString();
        // Delivered through the application object, which outlives every lookup; the guard is
        // checked on the main thread, where the context would be deleted.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, callback, name] {
                if (guard)
                    callback(name);
            },
            Qt::QueuedConnection);
    });
}
