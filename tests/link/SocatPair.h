#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>

#include "WaitUntil.h"

// Two joined pseudo-terminals made by socat: what is written to one end is read at the other,
// as on a null-modem cable. Each end can also be reached through a link of a fixed name, so
// that a pair started again after a stop appears under the same device names.
class SocatPair {
public:
    static bool available() { return !QStandardPaths::findExecutable("socat").isEmpty(); }

    ~SocatPair() { stop(); }

    // Starts socat and waits until both ends exist; their pty names are read from its log.
    bool start(const QString& firstLink, const QString& secondLink) {
        m_log.clear();
        ends.clear();
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(QStringLiteral("socat"),
                        {QStringLiteral("-d"), QStringLiteral("-d"),
                         QStringLiteral("pty,raw,echo=0,link=") + firstLink,
                         QStringLiteral("pty,raw,echo=0,link=") + secondLink});
        if (!m_process.waitForStarted(5000))
            return false;
        static const QRegularExpression ptyName(QStringLiteral("PTY is (\\S+)"));
        const bool ready = waitUntil([&] {
            m_log += QString::fromLocal8Bit(m_process.readAllStandardError());
            return m_log.contains(QLatin1String("starting data transfer loop")) ||
                   m_process.state() == QProcess::NotRunning;
        });
        for (auto it = ptyName.globalMatch(m_log); it.hasNext();)
            ends << it.next().captured(1);
        return ready && m_process.state() == QProcess::Running && ends.size() == 2;
    }

    // Ends socat: both pseudo-terminals go away.
    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    QString log() const { return m_log; }

    QStringList ends; // the two pty devices, in the order of the links

private:
    QProcess m_process;
    QString m_log;
};
