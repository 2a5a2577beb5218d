#include "PrivateBus.h"

#include <QFile>

PrivateBus::PrivateBus() {
    m_daemon.setProgram(QStringLiteral("dbus-daemon"));
    m_daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    m_daemon.start();
    if (!m_daemon.waitForStarted(5000)) {
        m_error = QStringLiteral("dbus-daemon did not start: ") + m_daemon.errorString();
        return;
    }
    while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(5000)) {
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    if (m_address.isEmpty())
        m_error = QStringLiteral("dbus-daemon printed no address");
}

PrivateBus::~PrivateBus() {
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(3000))
        m_daemon.kill();
    m_daemon.waitForFinished(3000);
}

AutomationStubProcess::AutomationStubProcess(const QString& busAddress, const QString& logFile,
                                             const QStringList& extraArguments)
    : m_logFile(logFile) {
    m_process.setProgram(QStringLiteral(TARVO_BIN_DIR "/orvanta-automation-stub"));
    m_process.setArguments(
        QStringList{QStringLiteral("--address"), busAddress, QStringLiteral("--log"), logFile} +
        extraArguments);
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        m_error = m_process.errorString();
        return;
    }
    while (!m_process.canReadLine() && m_process.waitForReadyRead(5000)) {
    }
    m_ready = m_process.readLine().trimmed() == "ready";
    if (!m_ready)
        m_error = QString::fromUtf8(m_process.readAllStandardError());
}

AutomationStubProcess::~AutomationStubProcess() {
    m_process.terminate();
    if (!m_process.waitForFinished(3000))
        m_process.kill();
    m_process.waitForFinished(3000);
}

QList<QByteArray> AutomationStubProcess::loggedCalls() const {
    QFile file(m_logFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    lines.removeAll(QByteArray());
    return lines;
}
