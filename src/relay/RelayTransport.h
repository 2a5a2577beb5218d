#pragma once

#include <functional>

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include "TWaitingForAck.h"

struct CollectorState;
class Clock;
class EventLog;
class TRelayList;

// Everything the relay transport reads and changes, owned by the collector.
struct RelayTransportContext {
    CollectorState& state; // relay switch, host, port, time-out, connection state, log folder
    EventLog& log;
    const Clock& clock;
    TRelayList& queue;
    std::function<void()> refreshCaption;
};

// The connection to the laboratory host and the sending of the relay queue under ASTM E1381
// acknowledgement: one entry at a time, ENQ and frames answered with ACK or NAK, EOT not
// answered. A message whose exchange is cut by a lost connection starts again at its ENQ on
// the next connection; entries leave the queue when their message has been sent completely.
class RelayTransport : public QObject {
    Q_OBJECT

public:
    static constexpr int kSendStepMs = 100;
    static constexpr auto kDumpFileName = "RelayLines.txt";

    explicit RelayTransport(RelayTransportContext context, QObject* parent = nullptr);

    // Points the socket at the relay host and opens it while relaying is on; closes it
    // otherwise.
    void ApplyRelayConnection();
    // The relay share of the main timer.
    void MainTimerTick();
    // One step of the send timer.
    void SendStep();
    // The analyzer's text, unchanged, while the socket is open (the HL7 pass-through).
    void PassThrough(const QByteArray& chunk);

    void StartSendTimer() { m_sendTimer.start(); }
    void StopSendTimer() { m_sendTimer.stop(); }
    bool SendTimerActive() const { return m_sendTimer.isActive(); }
    bool IsOpen() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    QString PeerName() const { return m_socket.peerName(); }
    QString PeerAddress() const { return m_socket.peerAddress().toString(); }
    int PeerPort() const { return m_socket.peerPort(); }
    TWaitingForAck& Acknowledgement() { return m_ack; }

signals:
    void connectionChanged();

private:
    void connected();
    void disconnected();
    void readAnswer();
    void send(const QByteArray& entry);
    void dump();
    void restartMessage();

    RelayTransportContext m_context;
    QTcpSocket m_socket;
    QTimer m_sendTimer;
    TWaitingForAck m_ack;
    QString m_hostName;
    QString m_address;
    int m_port = 12999;
    int m_connectingTicks = 0;
    // Entries of the front message already acknowledged; the next one to send.
    qsizetype m_next = 0;
};
