#pragma once

#include <QByteArray>
#include <QString>

class QTcpSocket;

// One Orvanta station connected to the data-host server, seen from the sending side. What the
// station has not taken yet waits in memory up to a bound; a station that stops reading is
// never waited for: once its unsent output has passed the bound it gets nothing more and the
// server closes it.
class StationOutput {
public:
    StationOutput(QTcpSocket* socket, QString address, qint64 limit);

    // Queues the bytes and hands the system as much as it takes without waiting. False, with
    // nothing queued, when the unsent output has already passed the bound.
    bool Send(const QByteArray& bytes);

    qint64 Unsent() const;
    qint64 Limit() const { return m_limit; }
    const QString& Address() const { return m_address; }
    QTcpSocket* Socket() const { return m_socket; }

private:
    QTcpSocket* m_socket;
    QString m_address;
    qint64 m_limit;
};
