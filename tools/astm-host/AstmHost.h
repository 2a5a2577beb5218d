#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTcpServer>

class QTcpSocket;

// How the host answers, for commissioning and for tests.
struct AstmHostScript {
    int nakEvery = 0;            // every n-th answer is NAK (0: never)
    bool nakEnq = false;         // every ENQ is refused
    bool silent = false;         // nothing is ever answered
    int closeAfterFrames = 0;    // the connection is closed after this many frames (0: never)
    int closeTimes = 1;          // how often closeAfterFrames applies
    int delayMs = 0;             // answers go out this late
    QByteArray nakText;          // frames holding this text are refused, however often sent
    int silentAfterMessages = 0; // after this many messages nothing is answered for silentMs
    int silentMs = 0;
};

// A receiving laboratory host under ASTM E1381: answers ENQ and frames, checks frame numbers
// and checksums, reassembles each message and reports it as one JSON line.
class AstmHost : public QObject {
    Q_OBJECT

public:
    explicit AstmHost(AstmHostScript script, QObject* parent = nullptr);
    ~AstmHost() override;
    bool listen(quint16 port);
    quint16 port() const { return m_server.serverPort(); }

    int Messages() const { return m_messages; }
    int Enquiries() const { return m_enquiries; }
    int Frames() const { return m_frames; }
    int Refusals() const { return m_refusals; }
    void setScript(const AstmHostScript& script) { m_script = script; }

signals:
    // One JSON object per line: a message, a refused frame, a connection event.
    void report(const QByteArray& line);

private:
    void accept();
    void read(QTcpSocket* socket);
    void enquiry(QTcpSocket* socket);
    void endOfTransmission();
    // Takes the complete frame at the front; false when it is not complete yet or the script
    // closed the connection after it.
    bool takeFrame(QTcpSocket* socket);
    void frame(QTcpSocket* socket, const QByteArray& frame);
    void answer(QTcpSocket* socket, bool accepted);
    void emitJson(const QByteArray& kind, const QStringList& records, const QString& note = {});

    AstmHostScript m_script;
    QTcpServer m_server;
    QByteArray m_buffer;
    bool m_inMessage = false;
    int m_expectedFrame = 1;
    int m_framesTaken = 0;
    bool m_lastFrameTaken = false; // the message's final frame is accepted
    QByteArray m_text;
    int m_answers = 0;
    int m_frames = 0;
    int m_closes = 0;
    int m_messages = 0;
    int m_enquiries = 0;
    int m_refusals = 0;
    qint64 m_silentUntil = 0; // milliseconds since the epoch
    bool m_silenced = false;
};
