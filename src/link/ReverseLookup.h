#pragma once

#include <functional>

#include <QObject>
#include <QString>

// Finds the host name of an address in a worker thread and hands it (empty when there is
// none) to the callback on the main thread, unless the context object is gone by then. The
// event loop never waits for a name server.
void lookUpHostName(const QString& address, QObject* context,
                    std::function<void(const QString& hostName)> callback);
