#pragma once

#include <memory>
#include <vector>

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTcpServer>
#include <QTimer>

#include "StationOutput.h"

class EventLog;
class PeerGate;

// The data-host server: Orvanta stations connect to it and receive every XML message the
// analyzers send, as 8-bit text in the ANSI code page, without framing or acknowledgement.
// Each message goes once to every distinct station address, in the order the stations
// connected.
class DataHostServer : public QObject {
    Q_OBJECT

public:
    static constexpr int kDefaultPort = 13998;
    // Unsent output a station may hold before it is closed.
    static constexpr qint64 kDefaultOutputLimit = qint64(16) << 20;
    // A station that has been sent nothing for this long gets a line end (CR LF), which its
    // framing drops: a data client closes a link that stays silent for 126 s.
    static constexpr int kDefaultLifetickMs = 30000;
    static constexpr auto kLifetick = "\r\n";

    explicit DataHostServer(EventLog& log, QObject* parent = nullptr);
    ~DataHostServer() override;

    // Peers the gate refuses are closed as they connect (no gate: everyone is admitted).
    void SetPeerGate(PeerGate* gate) { m_gate = gate; }
    void SetOutputLimit(qint64 bytes) { m_outputLimit = bytes; }
    qint64 OutputLimit() const { return m_outputLimit; }
    void SetLifetickInterval(int ms);

    int Port() const { return m_port; }
    void SetPort(int port) { m_port = port; }
    bool Active() const { return m_server.isListening(); }
    // Starts listening on all addresses; throws std::runtime_error with the reason.
    void Activate();
    // Stops listening and closes every station.
    void Deactivate();
    // "listening on port n, k stations", or "not listening on port n: reason".
    QString StateText() const;

    // Sends the messages to the stations; costs nothing while none is connected.
    void Forward(const QString& messages);

    int StationCount() const { return int(m_stations.size()); }
    QStringList StationAddresses() const;
    // Bytes handed to stations since the program started.
    qint64 BytesForwarded() const { return m_bytesForwarded; }

signals:
    // A station connected (leavingAddress empty) or left (its address).
    void stationsChanged(const QString& leavingAddress);

private:
    void onNewConnection();
    void takeStation(QTcpSocket* socket);
    void onDisconnected(QTcpSocket* socket);
    void cutOff(QTcpSocket* socket);
    void sendLifeticks();
    void logStalled(const StationOutput& station);

    EventLog& m_log;
    PeerGate* m_gate = nullptr;
    QTcpServer m_server;
    int m_port = kDefaultPort;
    QString m_activationFailure;
    qint64 m_outputLimit = kDefaultOutputLimit;
    qint64 m_bytesForwarded = 0;
    std::vector<std::unique_ptr<StationOutput>> m_stations;
    QTimer m_lifetick;
    // Stations sent something since the last lifetick round.
    QSet<const QTcpSocket*> m_sentSinceLifetick;
};
