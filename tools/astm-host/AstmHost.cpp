#include "AstmHost.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr char kEnq = '\x05';
constexpr char kEot = '\x04';
constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';
constexpr char kEtb = '\x17';
constexpr char kAck = '\x06';
constexpr char kNak = '\x15';

QByteArray checksum(const QByteArray& body) {
    unsigned sum = 0;
    for (const char c : body)
        sum += quint8(c);
    return QByteArray::number(sum % 256, 16).toUpper().rightJustified(2, '0');
}

QStringList recordsOf(const QByteArray& text) {
    QStringList records;
    for (const QByteArray& record : text.split('\r')) {
        if (!record.isEmpty())
            records << QString::fromLatin1(record);
    }
    return records;
}

} // namespace

AstmHost::AstmHost(AstmHostScript script, QObject* parent) : QObject(parent), m_script(script) {
    connect(&m_server, &QTcpServer::newConnection, this, &AstmHost::accept);
}

AstmHost::~AstmHost() {
    // Connections closed by the destruction report nothing.
    for (QTcpSocket* socket : m_server.findChildren<QTcpSocket*>())
        socket->disconnect(this);
}

bool AstmHost::listen(quint16 port) {
    return m_server.listen(QHostAddress::Any, port);
}

void AstmHost::accept() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        // Each answer is one byte that the sender waits for: it goes out at once.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_buffer.clear();
        m_inMessage = false;
        emitJson("connected", {}, socket->peerAddress().toString());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            // A message whose last frame (ETX) was accepted is complete: the sender has it
            // acknowledged and will not send it again, whether its EOT arrived or not.
            if (m_inMessage && m_lastFrameTaken) {
                ++m_messages;
                emitJson("message", recordsOf(m_text), QStringLiteral("ended without EOT"));
            } else if (m_inMessage) {
                emitJson("incomplete", {}, QString::fromLatin1(m_text));
            }
            m_inMessage = false;
            emitJson("disconnected", {});
            socket->deleteLater();
        });
    }
}

void AstmHost::read(QTcpSocket* socket) {
    m_buffer += socket->readAll();
    while (!m_buffer.isEmpty()) {
        const char first = m_buffer.at(0);
        if (first == kEnq) {
            m_buffer.remove(0, 1);
            enquiry(socket);
        } else if (first == kEot) {
            m_buffer.remove(0, 1);
            endOfTransmission();
        } else if (first == kStx) {
            if (!takeFrame(socket))
                return;
        } else {
            m_buffer.remove(0, 1); // nothing of a message
        }
    }
}

void AstmHost::enquiry(QTcpSocket* socket) {
    ++m_enquiries;
    const bool accepted = !m_script.nakEnq;
    if (accepted) {
        m_inMessage = true;
        m_expectedFrame = 1;
        m_framesTaken = 0;
        m_lastFrameTaken = false;
        m_text.clear();
    }
    answer(socket, accepted);
}

void AstmHost::endOfTransmission() {
    // A transfer that the sender ended before its last frame carries no message.
    if (m_inMessage && m_lastFrameTaken) {
        ++m_messages;
        emitJson("message", recordsOf(m_text));
        if (m_script.silentAfterMessages > 0 && !m_silenced &&
            m_messages >= m_script.silentAfterMessages) {
            m_silenced = true;
            m_silentUntil = QDateTime::currentMSecsSinceEpoch() + m_script.silentMs;
            emitJson("silent", {});
        }
    } else if (m_inMessage) {
        emitJson("incomplete", {}, QString::fromLatin1(m_text));
    }
    m_inMessage = false;
}

bool AstmHost::takeFrame(QTcpSocket* socket) {
    qsizetype end = -1;
    for (qsizetype i = 1; i < m_buffer.size(); ++i) {
        if (m_buffer.at(i) == kEtx || m_buffer.at(i) == kEtb) {
            end = i;
            break;
        }
    }
    if (end < 0)
        return false;
    // Either CR LF right after the end mark, or two checksum characters and CR LF.
    if (m_buffer.size() < end + 3)
        return false;
    qsizetype length = end + 3;
    if (m_buffer.mid(end + 1, 2) != "\r\n") {
        if (m_buffer.size() < end + 5)
            return false;
        length = end + 5;
    }
    const QByteArray whole = m_buffer.left(length);
    m_buffer.remove(0, length);
    frame(socket, whole);
    if (m_script.closeAfterFrames > 0 && m_closes < m_script.closeTimes &&
        m_frames % m_script.closeAfterFrames == 0) {
        ++m_closes;
        socket->disconnectFromHost();
        return false;
    }
    return true;
}

void AstmHost::frame(QTcpSocket* socket, const QByteArray& whole) {
    ++m_frames;
    const qsizetype endMark = whole.indexOf(kEtx) >= 0 ? whole.indexOf(kEtx) : whole.indexOf(kEtb);
    const QByteArray body = whole.mid(1, endMark);
    const QByteArray sum = whole.mid(endMark + 1, whole.size() - endMark - 3);
    const int number = body.isEmpty() ? -1 : body.at(0) - '0';
    QString refusal;
    if (!m_inMessage)
        refusal = QStringLiteral("frame outside a message");
    else if (!sum.isEmpty() && sum != checksum(body))
        refusal = QStringLiteral("checksum ") + QString::fromLatin1(sum) +
                  QStringLiteral(" instead of ") + QString::fromLatin1(checksum(body));
    if (refusal.isEmpty() && m_framesTaken > 0 && number == (m_expectedFrame + 7) % 8) {
        answer(socket, true); // a repeated frame already taken
        return;
    }
    if (refusal.isEmpty() && !m_script.nakText.isEmpty() && body.contains(m_script.nakText))
        refusal = QStringLiteral("refused by the script");
    if (refusal.isEmpty() && number != m_expectedFrame)
        refusal = QStringLiteral("frame number %1 instead of %2").arg(number).arg(m_expectedFrame);
    if (!refusal.isEmpty()) {
        emitJson("refused", {}, refusal);
        answer(socket, false);
        return;
    }
    if (!m_script.nakEvery || (m_answers + 1) % m_script.nakEvery != 0) {
        m_text += body.mid(1, body.size() - 2);
        m_lastFrameTaken = whole.at(endMark) == kEtx;
        m_expectedFrame = (m_expectedFrame + 1) % 8;
        ++m_framesTaken;
    }
    answer(socket, true);
}

void AstmHost::answer(QTcpSocket* socket, bool accepted) {
    if (m_script.silent || QDateTime::currentMSecsSinceEpoch() < m_silentUntil)
        return;
    ++m_answers;
    if (m_script.nakEvery > 0 && m_answers % m_script.nakEvery == 0)
        accepted = false;
    m_refusals += accepted ? 0 : 1;
    const QByteArray reply(1, accepted ? kAck : kNak);
    if (m_script.delayMs > 0)
        QTimer::singleShot(m_script.delayMs, socket, [socket, reply] { socket->write(reply); });
    else
        socket->write(reply);
}

void AstmHost::emitJson(const QByteArray& kind, const QStringList& records, const QString& note) {
    QJsonObject object{{QStringLiteral("event"), QString::fromLatin1(kind)}};
    if (kind == "message") {
        object.insert(QStringLiteral("number"), m_messages);
        object.insert(QStringLiteral("records"), QJsonArray::fromStringList(records));
    }
    if (!note.isEmpty())
        object.insert(QStringLiteral("note"), note);
    emit report(QJsonDocument(object).toJson(QJsonDocument::Compact));
}
