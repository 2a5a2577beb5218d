#pragma once

#include <memory>

#include <QProcess>
#include <QString>
#include <QStringList>

// A D-Bus daemon of the test's own, so that tests never touch the session's bus.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();

    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    QString error() const { return m_error; }

private:
    QProcess m_daemon;
    QString m_address;
    QString m_error;
};

// The reference automation server, started on a private bus.
class AutomationStubProcess {
public:
    AutomationStubProcess(const QString& busAddress, const QString& logFile,
                          const QStringList& extraArguments = {});
    ~AutomationStubProcess();

    bool isReady() const { return m_ready; }
    QString error() const { return m_error; }

    // The JSON lines the server has logged so far.
    QList<QByteArray> loggedCalls() const;

private:
    QProcess m_process;
    QString m_logFile;
    bool m_ready = false;
    QString m_error;
};
