#include "RelayTransport.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>

#include "Clock.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "NetworkAddress.h"
#include "StoredRelayList.h"
#include "TRelayList.h"

namespace {

constexpr char kAck = '\x06';
constexpr char kNak = '\x15';

bool isEnq(const QByteArray& entry) {
    return entry.size() == 1 && entry.at(0) == TRelayList::kEnq;
}

// The records a message's frames carry, in order.
QList<QByteArray> recordsOf(const QList<QByteArray>& frames) {
    QByteArray text;
    for (const QByteArray& frame : frames) {
        if (!frame.startsWith(TRelayList::kStx) || frame.size() < 3)
            continue;
        qsizetype end = frame.lastIndexOf(TRelayList::kEtx);
        if (end < 0)
            end = frame.lastIndexOf(TRelayList::kEtb);
        if (end > 2)
            text += frame.mid(2, end - 2);
    }
    QList<QByteArray> records;
    for (const QByteArray& record : text.split('\r')) {
        if (!record.isEmpty())
            records << record;
    }
    return records;
}

// The patient ID of the message's first patient record.
QString patientOf(const QList<QByteArray>& records) {
    for (const QByteArray& record : records) {
        if (record.size() > 1 && record.at(0) == 'P') {
            const QList<QByteArray> fields = record.split(record.at(1));
            return QString::fromLatin1(fields.value(3));
        }
    }
    return {};
}

bool appendTo(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Append) && file.write(text) == text.size() &&
           file.flush();
}

} // namespace

RelayTransport::RelayTransport(RelayTransportContext context, QObject* parent)
    : QObject(parent), m_context(std::move(context)), m_ack(m_context.clock) {
    m_sendTimer.setInterval(kSendStepMs);
    connect(&m_sendTimer, &QTimer::timeout, this, &RelayTransport::SendStep);
    connect(&m_socket, &QTcpSocket::connected, this, &RelayTransport::connected);
    connect(&m_socket, &QTcpSocket::disconnected, this, &RelayTransport::disconnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &RelayTransport::readAnswer);
    m_pauseMs = m_timing.firstPauseMs;
}

RelayTransport::~RelayTransport() {
    disconnect(&m_socket, nullptr, this, nullptr);
}

void RelayTransport::SetTiming(const Timing& timing) {
    m_timing = timing;
    m_ack.SetTimeoutMs(timing.replyTimeoutMs);
    m_pauseMs = timing.firstPauseMs;
}

QString RelayTransport::DeadLetterPath() const {
    return m_context.state.dataRoot + QLatin1String(kDeadLetterFileName);
}

void RelayTransport::ApplyRelayConnection() {
    const CollectorState& state = m_context.state;
    if (!state.relayEnabled) {
        m_sendTimer.stop();
        closeOpenConnection();
        return;
    }
    if (m_port != state.relayPort) {
        m_socket.abort();
        m_port = state.relayPort;
    }
    // One strict reading of addresses for every setting that takes one: "010.0.0.1" is
    // 10.0.0.1, never octal; what is no address is a host name, or nothing usable.
    const QString host = state.relayHost.trimmed();
    if (const auto address = NetworkAddress::parseHost(host)) {
        if (m_address != address->toString()) {
            m_socket.abort();
            m_address = address->toString();
            m_hostName.clear();
        }
    } else if (NetworkAddress::isHostName(host)) {
        if (m_hostName.compare(host, Qt::CaseInsensitive) != 0) {
            m_socket.abort();
            m_address.clear();
            m_hostName = host;
        }
    } else {
        if (m_unusableHost != host) {
            m_unusableHost = host;
            m_context.log.writeError(QStringLiteral("Error: HostOther \"") + host +
                                     QStringLiteral("\" is neither an address nor a host name; "
                                                    "nothing is relayed"));
        }
        return;
    }
    m_unusableHost.clear();
    if (m_socket.state() == QAbstractSocket::UnconnectedState) {
        if (m_context.refreshCaption)
            m_context.refreshCaption();
        restartMessage();
        if (!m_address.isEmpty())
            m_socket.connectToHost(*NetworkAddress::parseHost(m_address), quint16(m_port));
        else
            m_socket.connectToHost(m_hostName, quint16(m_port));
        setConnection(RelayConnectionState::Connecting);
    }
}

void RelayTransport::Reconnect() {
    m_sendTimer.stop();
    closeOpenConnection();
    setConnection(RelayConnectionState::Connecting);
}

// An open or opening connection is closed; the message it was sending starts again next time.
void RelayTransport::closeOpenConnection() {
    if (m_socket.state() == QAbstractSocket::UnconnectedState)
        return;
    m_socket.abort();
    restartMessage();
    if (m_context.refreshCaption)
        m_context.refreshCaption();
}

void RelayTransport::setConnection(RelayConnectionState connection) {
    if (m_connection == connection)
        return;
    m_connection = connection;
    emit connectionChanged();
}

void RelayTransport::MainTimerTick() {
    m_context.queue.Maintain();
    const CollectorState& state = m_context.state;
    if (state.busy || state.protocol == AnalyzerProtocol::Xml || !state.relayEnabled)
        return;
    switch (m_connection) {
    case RelayConnectionState::Connected:
        m_connectingTicks = 0;
        break;
    case RelayConnectionState::Disconnected:
        ApplyRelayConnection();
        break;
    case RelayConnectionState::Connecting:
        if (++m_connectingTicks > state.relayTimeoutSeconds) {
            // The attempt is given up, so that the next tick opens the socket anew.
            m_socket.abort();
            setConnection(RelayConnectionState::Disconnected);
            m_connectingTicks = 0;
        }
        break;
    }
}

void RelayTransport::StartSendTimer() {
    if (!m_context.state.relayEnabled || m_context.queue.Count() == 0)
        return;
    if (!m_sendTimer.isActive())
        m_sendTimer.start();
    QMetaObject::invokeMethod(this, &RelayTransport::SendStep, Qt::QueuedConnection);
}

void RelayTransport::SendStep() {
    TRelayList& queue = m_context.queue;
    if (!m_context.state.relayEnabled || queue.Count() == 0) {
        m_sendTimer.stop();
        return;
    }
    if (!IsOpen())
        return;
    if (m_next >= queue.Count())
        restartMessage(); // the queue changed under the exchange
    if (m_ack.IsWaiting()) {
        if (m_ack.ResendRequested())
            noReply();
        return;
    }
    if (m_pauseUntil.isValid() && m_context.clock.now() < m_pauseUntil)
        return;
    m_pauseUntil = QDateTime();
    const QByteArray entry = queue.Entry(m_next);
    send(entry);
    if (TRelayList::IsEot(entry))
        messageSent();
    else
        m_ack.SetWaiting(true);
}

void RelayTransport::messageSent() {
    // The message is complete: it leaves the queue, and the next one starts at once.
    TRelayList& queue = m_context.queue;
    queue.DeleteFront(m_next + 1);
    m_next = 0;
    m_refusals = 0;
    m_ack.SetWaiting(false);
    if (queue.Count() == 0)
        m_sendTimer.stop();
    else
        SendStep();
}

void RelayTransport::noReply() {
    // The transfer is ended and started again from its ENQ after a pause; nothing is dropped.
    send(QByteArray(1, TRelayList::kEot));
    restartMessage();
    pause(m_pauseMs);
    if (!m_silent) {
        m_silent = true;
        m_context.log.writeWarning(
            QStringLiteral("The relay host %1:%2 did not answer within %3 s; the transfer was "
                           "ended and is sent again, after pauses of up to %4 s, until it answers "
                           "(%5 entries queued)")
                .arg(m_address.isEmpty() ? m_hostName : m_address)
                .arg(m_port)
                .arg(m_timing.replyTimeoutMs / 1000.0)
                .arg(m_timing.longestPauseMs / 1000.0)
                .arg(m_context.queue.Count()));
    }
    m_pauseMs = std::min(m_pauseMs * 2, m_timing.longestPauseMs);
}

void RelayTransport::refused() {
    TRelayList& queue = m_context.queue;
    const QByteArray entry = queue.Entry(m_next);
    if (isEnq(entry)) {
        // The host is busy: it is asked again after a pause.
        m_ack.SetWaiting(false);
        pause(m_timing.busyPauseMs);
        return;
    }
    if (++m_refusals < kMaxRefusals) {
        send(entry);
        m_ack.SetWaiting(true);
        return;
    }
    send(QByteArray(1, TRelayList::kEot));
    m_ack.SetWaiting(false);
    if (!setAside()) {
        // Kept at the front until it can be set aside.
        restartMessage();
        pause(m_timing.longestPauseMs);
        return;
    }
    restartMessage();
    m_refusals = 0;
    SendStep();
}

void RelayTransport::pause(int ms) {
    // The clock decides when the pause is over; the timer wakes the sending then, so that the
    // next entry does not wait for a tick of the send timer.
    m_pauseUntil = m_context.clock.now().addMSecs(ms);
    QTimer::singleShot(ms, this, &RelayTransport::SendStep);
}

bool RelayTransport::setAside() {
    TRelayList& queue = m_context.queue;
    QList<QByteArray> message;
    qsizetype end = 0;
    while (end < queue.Count() && !TRelayList::IsEot(queue.Entry(end)))
        message << queue.Entry(end++);
    const QList<QByteArray> records = recordsOf(message);
    const QString patient = patientOf(records);
    QByteArray text = "# " + m_context.clock.now().toString(Qt::ISODate).toLatin1() + " refused " +
                      QByteArray::number(m_refusals) + " times by " +
                      (m_address.isEmpty() ? m_hostName : m_address).toLatin1() + ':' +
                      QByteArray::number(m_port) + "\r\n";
    for (const QByteArray& record : records)
        text += record + "\r\n";
    QDir().mkpath(m_context.state.dataRoot);
    const QString path = DeadLetterPath();
    if (!appendTo(path, text)) {
        m_context.log.writeError(QStringLiteral("Error: the relay host refused the message for "
                                                "patient %1 %2 times, and it cannot be written to ")
                                     .arg(patient)
                                     .arg(m_refusals) +
                                 path + QStringLiteral("; it stays queued"));
        return false;
    }
    appendTo(m_context.state.logFolder + QLatin1String(kDumpFileName), text);
    queue.DeleteFront(end + 1);
    ++m_deadLetters;
    m_context.log.writeWarning(
        QStringLiteral("The relay host refused the message for patient %1 "
                       "(%2 records) %3 times; it was moved to ")
            .arg(patient)
            .arg(records.size())
            .arg(m_refusals) +
        path + QStringLiteral(" (%1 set aside since the start)").arg(m_deadLetters));
    return true;
}

void RelayTransport::send(const QByteArray& entry) {
    m_socket.write(entry);
}

void RelayTransport::readAnswer() {
    const QByteArray answer = m_socket.readAll();
    TRelayList& queue = m_context.queue;
    // Only the first byte of a read counts; an answer while nothing is outstanding is ignored.
    if (answer.isEmpty() || !m_ack.IsWaiting() || m_next >= queue.Count())
        return;
    if (answer.at(0) == kAck) {
        if (m_silent) {
            m_silent = false;
            m_context.log.writeLog(QStringLiteral("The relay host answers again"));
        }
        m_pauseMs = m_timing.firstPauseMs;
        m_refusals = 0;
        ++m_next;
        m_ack.SetWaiting(false);
        SendStep();
    } else if (answer.at(0) == kNak) {
        refused();
    }
}

void RelayTransport::PassThrough(const QByteArray& chunk) {
    if (!m_context.state.relayEnabled || !IsOpen())
        return;
    if (m_socket.bytesToWrite() + chunk.size() <= kPassThroughLimit) {
        if (m_overflowing) {
            m_overflowing = false;
            m_context.log.writeLog(QStringLiteral("The relay host reads the passed-through text "
                                                  "again"));
        }
        m_socket.write(chunk);
        return;
    }
    const QString path =
        StoredRelayList::OverflowPath(m_context.state.dataRoot, m_context.clock.now().date());
    const bool kept = appendTo(path, chunk);
    if (!m_overflowing || !kept) {
        m_overflowing = true;
        m_context.log.writeLog(
            QStringLiteral("The relay host does not read: %1 bytes wait for it; the text passed "
                           "through %2 ")
                .arg(m_socket.bytesToWrite())
                .arg(kept ? QStringLiteral("goes to")
                          : QStringLiteral("was lost, it cannot be "
                                           "written to")) +
            path);
    }
}

void RelayTransport::connected() {
    // Entries are a few bytes each and every one waits for its answer: the stack must not hold
    // a small write back until the previous one is acknowledged (an EOT followed by the next
    // ENQ would wait for the host's delayed acknowledgement).
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_connectingTicks = 0;
    setConnection(RelayConnectionState::Connected);
    if (m_context.refreshCaption)
        m_context.refreshCaption();
    StartSendTimer();
}

void RelayTransport::disconnected() {
    setConnection(RelayConnectionState::Disconnected);
    restartMessage();
    if (m_context.refreshCaption)
        m_context.refreshCaption();
}

void RelayTransport::restartMessage() {
    // The front message starts again at its ENQ.
    m_next = 0;
    m_ack.SetWaiting(false);
}
