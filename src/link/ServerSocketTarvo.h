#pragma once

#include <memory>
#include <vector>

#include <QObject>
#include <QTcpServer>

#include "Utf16StreamDecoder.h"

class AnalyzerLinkHost;
class QTcpSocket;

// The analyzers' TCP server: listens on all addresses on the analyzer port, takes any number
// of analyzers, and handles their connect, read and disconnect events on the main thread.
class ServerSocketTarvo : public QObject {
    Q_OBJECT

public:
    // Bytes a connection may hold unread in memory; beyond it the peer waits.
    static constexpr qint64 kReadBufferSize = qint64(4) << 20;
    // Characters of unfinished XML text kept per analyzer record (16 MiB of UTF-16).
    static constexpr qsizetype kPendingLimit = qsizetype(8) << 20;
    static constexpr int kDefaultPort = 13000;

    explicit ServerSocketTarvo(AnalyzerLinkHost& host, QObject* parent = nullptr);
    ~ServerSocketTarvo() override;

    int Port() const { return m_port; }
    void SetPort(int port) { m_port = port; }
    bool Active() const { return m_server.isListening(); }
    // Starts listening; throws std::runtime_error with the reason when the port cannot be used.
    void Activate();
    // Stops listening and closes every analyzer connection.
    void Deactivate();

    int ConnectionCount() const { return int(m_connections.size()); }
    QStringList ConnectionAddresses() const;

    // Reads what arrived while reads had to wait (Busy); call when Busy is cleared.
    void ResumeReading();

    // Bytes read from analyzers since the program started.
    qint64 BytesReceived() const { return m_bytesReceived; }

signals:
    void clientConnected(const QString& identity);
    void clientDisconnected(const QString& identity);

private:
    struct Connection {
        QTcpSocket* socket = nullptr;
        QString identity;
        QString address;
        Utf16StreamDecoder decoder;
    };

    void onNewConnection();
    void onClientRead(Connection& connection);
    void onClientDisconnect(QTcpSocket* socket);
    void xmlRead(Connection& connection);
    void lineRead(Connection& connection);
    Connection* find(QTcpSocket* socket);

    AnalyzerLinkHost& m_host;
    QTcpServer m_server;
    int m_port = kDefaultPort;
    qint64 m_bytesReceived = 0;
    std::vector<std::unique_ptr<Connection>> m_connections;
};
