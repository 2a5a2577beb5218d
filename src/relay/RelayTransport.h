#pragma once

#include <functional>

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include "CollectorState.h"
#include "TWaitingForAck.h"

class Clock;
class EventLog;
class TRelayList;

// Everything the relay transport reads and changes, owned by the collector.
struct RelayTransportContext {
    const CollectorState& state; // relay switch, host, port, time-out, folders
    EventLog& log;
    const Clock& clock;
    TRelayList& queue;
    std::function<void()> refreshCaption;
};

// The connection to the laboratory host and the sending of the relay queue under ASTM E1381:
// one entry at a time, ENQ and frames answered with ACK or NAK, EOT not answered. The next entry
// goes out as soon as the host acknowledges the last one, so a backlog drains at the host's
// pace; the send timer runs only while something is queued, as the fallback for time-outs and
// pauses.
//
// Nothing queued is dropped while the host is away or slow: a transfer that gets no reply
// within the time-out is ended with EOT and started again at its ENQ after a pause that grows
// to about a minute; a host that refuses the ENQ (busy) is asked again after a pause; a message
// cut by a lost connection starts again at its ENQ on the next connection. Only a message whose
// frames the host refuses (NAK) kMaxRefusals times in a row is set aside: it is appended to the
// dead-letter file in the data root, with a log line, and the queue moves on. Entries leave the
// queue when their message has been sent completely.
class RelayTransport : public QObject {
    Q_OBJECT

public:
    static constexpr int kSendStepMs = 100;
    static constexpr int kMaxRefusals = 6;
    // A copy of every message set aside, in the log folder, for inspection.
    static constexpr auto kDumpFileName = "RelayLines.txt";
    // Messages the host refused, in the data root.
    static constexpr auto kDeadLetterFileName = "RelayDeadLetters.txt";
    // Bytes of passed-through text that may wait for a host that does not read; beyond it the
    // text goes to the overflow file.
    static constexpr qint64 kPassThroughLimit = qint64(4) << 20;

    struct Timing {
        int replyTimeoutMs = TWaitingForAck::kAckTimeoutSeconds * 1000;
        int busyPauseMs = 10000; // after a refused ENQ
        int firstPauseMs = 1000; // after the first transfer without a reply, doubling
        int longestPauseMs = 60000;
    };

    explicit RelayTransport(RelayTransportContext context, QObject* parent = nullptr);
    // A socket still open when the transport goes says it is disconnected while closing; by
    // then the members its handlers use are gone, so the handlers are detached first.
    ~RelayTransport() override;

    void SetTiming(const Timing& timing);

    // Points the socket at the relay host and opens it while relaying is on; closes it
    // otherwise.
    void ApplyRelayConnection();
    // Closes the socket and counts the connection as being set up again: the main timer opens it
    // anew (another analyzer protocol starts the relay connection over).
    void Reconnect();
    // The relay share of the main timer.
    void MainTimerTick();
    // One step of the send timer: sends what is due.
    void SendStep();
    // The analyzer's text, unchanged, while the socket is open (the HL7 pass-through).
    void PassThrough(const QByteArray& chunk);

    // Runs the send timer while relaying is on and something is queued, and sends at once.
    void StartSendTimer();
    void StopSendTimer() { m_sendTimer.stop(); }
    bool SendTimerActive() const { return m_sendTimer.isActive(); }
    bool IsOpen() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    QString PeerName() const { return m_socket.peerName(); }
    QString PeerAddress() const { return m_socket.peerAddress().toString(); }
    int PeerPort() const { return m_socket.peerPort(); }
    TWaitingForAck& Acknowledgement() { return m_ack; }
    // The state of the connection to the relay host; connectionChanged() tells of every change.
    RelayConnectionState Connection() const { return m_connection; }
    // Messages set aside since the program started.
    int DeadLetters() const { return m_deadLetters; }
    QString DeadLetterPath() const;

signals:
    void connectionChanged();

private:
    void setConnection(RelayConnectionState connection);
    void connected();
    void disconnected();
    void readAnswer();
    void send(const QByteArray& entry);
    void noReply();
    void refused();
    bool setAside();
    void pause(int ms);
    void restartMessage();
    void closeOpenConnection();
    void messageSent();

    RelayTransportContext m_context;
    Timing m_timing;
    QTcpSocket m_socket;
    QTimer m_sendTimer;
    TWaitingForAck m_ack;
    RelayConnectionState m_connection = RelayConnectionState::Disconnected;
    QString m_hostName;
    QString m_address;
    QString m_unusableHost; // logged once until it changes
    int m_port = 12999;
    int m_connectingTicks = 0;
    // Entries of the front message already acknowledged; the next one to send.
    qsizetype m_next = 0;
    int m_refusals = 0;     // frames of the front message refused in a row
    int m_pauseMs = 0;      // the next pause after a transfer without a reply
    QDateTime m_pauseUntil; // nothing is sent before then
    bool m_silent = false;  // the host has not answered since the last log line said so
    bool m_overflowing = false;
    int m_deadLetters = 0;
};
