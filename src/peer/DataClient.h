#pragma once

#include <functional>

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QTcpSocket>

#include "PendingText.h"

class AnalyzerLinkHost;
class Clock;

// The data client: a connection to an Orvanta data host whose XML messages are handled like an
// analyzer's. It connects while inter-networking is on, is retried every 11 ticks of the main
// timer while it is not connected, and is closed when the data host has sent nothing for more
// than 126 seconds (any bytes from the host count as its lifetick).
class DataClient : public QObject {
    Q_OBJECT

public:
    // Where to connect, read from the settings at every use.
    struct Target {
        bool enabled = false; // InterNetworking
        QString ipString;     // an address or a host name
        int port = 13999;
    };
    using TargetSource = std::function<Target()>;

    static constexpr int kReconnectCountdown = 10;
    static constexpr qint64 kLifetickLimitMs = 126000;
    static constexpr auto kLifetickMissing = "Expected lifetick is missing";
    // Bytes from the data host kept while no message ends in them.
    static constexpr qsizetype kUnfinishedLimit = qsizetype(64) << 20;

    // Whether the text is used as an address (NetworkAddress reads it strictly) rather than
    // looked up as a host name.
    static bool IsIPAddress(const QString& text);

    DataClient(AnalyzerLinkHost& host, const Clock& clock, TargetSource target,
               QObject* parent = nullptr);
    ~DataClient() override;

    // Start data client: while inter-networking is on, closes the socket and connects anew
    // (without waiting); always sets the reconnect countdown.
    void Start();
    void Close();
    // The main timer's share; call when not busy.
    void TimerTick();
    // Reads what arrived while reads had to wait (Busy).
    void ResumeReading();

    bool Connected() const { return m_connected; }
    int Countdown() const { return m_countdown; }
    // What the last start used: an address, or a host name to look up.
    const QString& Address() const { return m_address; }
    const QString& HostName() const { return m_hostName; }
    // The data host as the caption shows it.
    QString PeerHostName() const { return m_peerHostName; }
    QString PeerAddress() const;
    QDateTime LastLifetick() const { return m_lastLifetick; }
    qint64 BytesReceived() const { return m_bytesReceived; }

signals:
    void connectedChanged(bool connected);

private:
    void onConnected();
    void onDisconnected();
    void onReadyRead();
    void read();
    void dispatch(const QByteArray& bytes);

    AnalyzerLinkHost& m_host;
    const Clock& m_clock;
    TargetSource m_target;
    QTcpSocket m_socket;
    bool m_connected = false;
    int m_countdown = kReconnectCountdown;
    QString m_address;
    QString m_hostName;
    QString m_reportedUnusable; // the IPString last logged as neither address nor host name
    QString m_peerHostName;
    QString m_identity;
    QDateTime m_lastLifetick;
    QByteArray m_unfinished;
    PendingText m_pending;
    qint64 m_bytesReceived = 0;
    bool m_reading = false;
};
