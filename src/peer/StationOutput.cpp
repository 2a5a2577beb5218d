#include "StationOutput.h"

#include <QTcpSocket>

StationOutput::StationOutput(QTcpSocket* socket, QString address, qint64 limit)
    : m_socket(socket), m_address(std::move(address)), m_limit(limit) {}

qint64 StationOutput::Unsent() const {
    return m_socket->bytesToWrite();
}

bool StationOutput::Send(const QByteArray& bytes) {
    // A message larger than the bound still reaches a station that reads: the bound is checked
    // against what waits from earlier messages.
    if (Unsent() > m_limit)
        return false;
    m_socket->write(bytes);
    m_socket->flush();
    return true;
}
