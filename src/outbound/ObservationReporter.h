#pragma once

#include <memory>

#include <QDateTime>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include "EventLog.h"
#include "ObservationMessage.h"
#include "ReportQueue.h"
#include "StoredResult.h"

class SettingsStore;

// What the reporter shows of itself (status command, window).
struct ReportStatus {
    bool configured = false;
    QString host;
    int port = 0;
    QString connection; // "off", "connecting", "connected", "waiting for acknowledgement", ...
    qsizetype queued = 0;
    QDateTime lastAcknowledged;
    qint64 acknowledged = 0;
    qint64 refused = 0;
};

// Reports every stored result to the hospital's integration engine as a device observation
// message over MLLP (a message framed by 0x0B ... 0x1C 0x0D on a TCP connection). One message is
// outstanding at a time: the engine's acknowledgement AA removes it from the queue and the next
// one goes at once; AE or AR moves it with the engine's text to the refused-messages file, with a
// log line; no answer within the time-out closes the connection, and the message goes again after
// a back-off. The reporter is off while ReportHost is empty or ReportPort is 0; its settings are
// read when it starts and again when the settings are saved (ReadSettings).
class ObservationReporter : public QObject {
    Q_OBJECT

public:
    static constexpr char kStartBlock = '\x0b';
    static constexpr char kEndBlock = '\x1c';
    static constexpr int kAckTimeoutMs = 30000;
    static constexpr int kFirstBackoffMs = 1000;
    static constexpr int kLongestBackoffMs = 60000;
    // Bytes an engine's answer may take before it is cut off as no answer.
    static constexpr qsizetype kLongestAnswer = 64 * 1024;

    ObservationReporter(const SettingsStore& settings, EventLog& log, QString folder,
                        QObject* parent = nullptr);
    ~ObservationReporter() override;

    // Reads the Report settings; connects, reconnects or turns the reporter off as they say.
    void ReadSettings();
    // One stored result (a result already taken is left alone).
    void Report(const StoredResult& result);
    // One stored event, while ReportEvents is on (an event already taken is left alone).
    void ReportEvent(const StoredEvent& event);
    // Called by the main timer: a journal that could not be written is tried again.
    void MainTimerTick();

    ReportStatus Status() const;
    // "off", or the engine, the connection, the queue and the last acknowledgement, in one line.
    QString StatusLine() const;
    const ReportQueue* Queue() const { return m_queue.get(); }

    void SetTimeouts(int ackTimeoutMs, int firstBackoffMs);
    static QString SeriesKey(const StoredResult& result);
    static QString EventSeriesKey(const QString& patientId);

signals:
    void statusChanged();

private:
    void enqueue(const QString& series, qint64 time, const QString& value, const QString& controlId,
                 const QByteArray& message);
    void stop();
    void connectToEngine();
    void sendNext();
    void readAnswer();
    void answered(const QByteArray& message);
    void lost(const QString& why);
    void setConnection(const QString& connection);

    const SettingsStore& m_settings;
    EventLog& m_log;
    QString m_folder;
    std::unique_ptr<ReportQueue> m_queue;
    ReportIdentity m_identity;
    QString m_host;
    int m_port = 0;
    bool m_controls = false;
    bool m_events = false;
    QTcpSocket* m_socket = nullptr;
    QByteArray m_received;
    QString m_outstanding; // the control ID of the message sent and not yet answered
    QTimer m_ackTimer;
    QTimer m_retryTimer;
    int m_ackTimeoutMs = kAckTimeoutMs;
    int m_firstBackoffMs = kFirstBackoffMs;
    int m_backoffMs = kFirstBackoffMs;
    QString m_connection = QStringLiteral("off");
    QDateTime m_lastAcknowledged;
    qint64 m_acknowledged = 0;
    qint64 m_refused = 0;
};
