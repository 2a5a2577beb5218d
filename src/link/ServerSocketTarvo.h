#pragma once

#include <memory>
#include <vector>

#include <QObject>
#include <QSet>
#include <QTcpServer>

#include "LineFraming.h"
#include "PendingText.h"
#include "TXMLDocument.h"
#include "Utf16StreamDecoder.h"

class AnalyzerLinkHost;
class PeerGate;
class QTcpSocket;

// The analyzers' TCP server: listens on all addresses on the analyzer port, takes any number
// of analyzers, and handles their connect, read and disconnect events on the main thread.
// Each connection keeps its own unfinished text; the records of TSockets are per address.
class ServerSocketTarvo : public QObject {
    Q_OBJECT

public:
    // Bytes a connection may hold unread in memory; beyond it the peer waits.
    static constexpr qint64 kReadBufferSize = qint64(4) << 20;
    // Characters of unfinished XML text kept per connection: whatever the XML layer reads from
    // an archive also arrives over the link (its limit is in bytes of UTF-8, at least one byte
    // per character).
    static constexpr qsizetype kPendingLimit = TXMLDocument::kLargestDocument;
    // Characters of unfinished text kept for all connections together.
    static constexpr qsizetype kTotalPendingLimit = 2 * kPendingLimit;
    static constexpr int kDefaultPort = 13000;
    // Analyzer connections held at once unless set otherwise, and the largest limit accepted.
    static constexpr int kDefaultConnectionLimit = 64;
    static constexpr int kHighestConnectionLimit = 1024;
    static constexpr int kHighestPort = 65535;

    // Whether the number can be the analyzer port (1 to 65535).
    static bool ValidPort(int port) { return port >= 1 && port <= kHighestPort; }

    explicit ServerSocketTarvo(AnalyzerLinkHost& host, QObject* parent = nullptr);
    ~ServerSocketTarvo() override;

    // Peers the gate refuses are closed as they connect (no gate: everyone is admitted).
    void SetPeerGate(PeerGate* gate) { m_gate = gate; }

    // Connections held at once; a peer that connects beyond them is closed at once, logged
    // once per address until a connection is admitted again.
    void SetConnectionLimit(int limit) { m_connectionLimit = limit; }
    int ConnectionLimit() const { return m_connectionLimit; }

    int Port() const { return m_port; }
    void SetPort(int port) { m_port = port; }
    bool Active() const { return m_server.isListening(); }
    // Starts listening; throws std::runtime_error with the reason when the port cannot be used.
    // The reason is kept until the server listens.
    void Activate();
    // Stops listening and closes every analyzer connection.
    void Deactivate();
    // A clean stop: takes the analyzers the system has already connected, stops listening,
    // reads what every connection holds and handles every complete message; then closes every
    // connection, logging per sender the unfinished text that is discarded.
    void Shutdown();

    // "listening on port N", or "not listening on port N" with the reason.
    QString StateText() const;

    int ConnectionCount() const { return int(m_connections.size()); }
    // Analyzer connections accepted since the program started.
    qint64 ConnectionsAccepted() const { return qint64(m_nextSerial - 1); }
    QStringList ConnectionAddresses() const;
    // Characters of unfinished text held by all connections together (record-line bytes count
    // as characters).
    qsizetype PendingCharacters() const;

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
        quint64 serial = 0;
        QString identity;
        QString address;
        Utf16StreamDecoder decoder;
        PendingText pending;
        LineFraming lines;       // record lines not yet ended by EOT
        bool continuing = false; // complete messages wait for a continuation
        bool closed = false;     // the peer closed while reads had to wait
    };

    void onNewConnection();
    void takeConnection(QTcpSocket* socket);
    bool refuseOverLimit(QTcpSocket& socket);
    void onClientRead(Connection& connection);
    void onClientDisconnect(QTcpSocket* socket);
    void finishConnection(Connection& connection);
    void xmlRead(Connection& connection);
    void handleXml(Connection& connection, QString text);
    void continueLater(Connection& connection);
    void continueConnection(quint64 serial);
    void limitPending(Connection& connection);
    void lineRead(Connection& connection);
    // The line parser keeps the state of each connection apart under this name.
    static QString lineSource(const Connection& connection);
    Connection* find(QTcpSocket* socket);
    Connection* find(quint64 serial);

    AnalyzerLinkHost& m_host;
    PeerGate* m_gate = nullptr;
    QTcpServer m_server;
    int m_port = kDefaultPort;
    int m_connectionLimit = kDefaultConnectionLimit;
    QSet<QString> m_refusedOverLimit; // addresses logged since a connection was last admitted
    QString m_activationFailure;
    qint64 m_bytesReceived = 0;
    quint64 m_nextSerial = 1;
    bool m_stopping = false; // everything that has arrived is handled at once
    std::vector<std::unique_ptr<Connection>> m_connections;
};
