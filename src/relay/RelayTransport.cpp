#include "RelayTransport.h"

#include <QHostAddress>

#include "CollectorState.h"
#include "EventLog.h"
#include "TRelayList.h"

namespace {

constexpr char kAck = '\x06';
constexpr char kNak = '\x15';

bool isEot(const QByteArray& entry) {
    return entry.size() == 1 && entry.at(0) == TRelayList::kEot;
}

} // namespace

RelayTransport::RelayTransport(RelayTransportContext context, QObject* parent)
    : QObject(parent), m_context(std::move(context)), m_ack(m_context.clock) {
    m_sendTimer.setInterval(kSendStepMs);
    connect(&m_sendTimer, &QTimer::timeout, this, &RelayTransport::SendStep);
    connect(&m_socket, &QTcpSocket::connected, this, &RelayTransport::connected);
    connect(&m_socket, &QTcpSocket::disconnected, this, &RelayTransport::disconnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &RelayTransport::readAnswer);
    m_sendTimer.start();
}

void RelayTransport::ApplyRelayConnection() {
    CollectorState& state = m_context.state;
    if (!state.relayEnabled) {
        if (m_socket.state() != QAbstractSocket::UnconnectedState) {
            m_socket.abort();
            restartMessage();
            if (m_context.refreshCaption)
                m_context.refreshCaption();
        }
        return;
    }
    if (m_port != state.relayPort) {
        m_socket.abort();
        m_port = state.relayPort;
    }
    if (!state.relayHost.contains(u'.')) {
        if (m_hostName.compare(state.relayHost, Qt::CaseInsensitive) != 0) {
            m_socket.abort();
            m_address.clear();
            m_hostName = state.relayHost;
        }
    } else if (m_address != state.relayHost) {
        m_socket.abort();
        m_address = state.relayHost;
        m_hostName.clear();
    }
    if (m_socket.state() == QAbstractSocket::UnconnectedState) {
        if (m_context.refreshCaption)
            m_context.refreshCaption();
        restartMessage();
        if (!m_address.isEmpty())
            m_socket.connectToHost(QHostAddress(m_address), quint16(m_port));
        else
            m_socket.connectToHost(m_hostName, quint16(m_port));
        state.relayConnection = RelayConnectionState::Connecting;
    }
}

void RelayTransport::MainTimerTick() {
    CollectorState& state = m_context.state;
    if (state.busy || state.protocol == AnalyzerProtocol::Xml || !state.relayEnabled)
        return;
    switch (state.relayConnection) {
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
            state.relayConnection = RelayConnectionState::Disconnected;
            m_connectingTicks = 0;
        }
        break;
    }
}

void RelayTransport::SendStep() {
    TRelayList& queue = m_context.queue;
    if (!m_context.state.relayEnabled || !IsOpen())
        return;
    if (m_next > queue.Count())
        restartMessage(); // the queue was emptied under the exchange
    if (!m_ack.IsWaiting()) {
        if (m_next < queue.Count()) {
            const QByteArray entry = queue.Entry(m_next);
            send(entry);
            if (isEot(entry)) {
                // The message is complete: it leaves the queue.
                for (qsizetype i = 0; i <= m_next; ++i)
                    queue.DeleteFirst();
                m_next = 0;
                m_ack.SetWaiting(false);
                m_ack.ResetRetries();
                if (queue.Count() == 0)
                    m_sendTimer.stop();
            } else {
                m_ack.SetWaiting(true);
            }
        }
        return;
    }
    if (m_ack.ResendRequested() && m_next < queue.Count()) {
        send(queue.Entry(m_next));
        if (m_ack.CountRetry())
            dump();
        m_ack.SetResend(false);
    }
}

void RelayTransport::send(const QByteArray& entry) {
    m_socket.write(entry);
}

void RelayTransport::dump() {
    TRelayList& queue = m_context.queue;
    if (queue.Count() == 0)
        return;
    int messages = 0;
    for (qsizetype i = 0; i < queue.Count(); ++i)
        messages += isEot(queue.Entry(i)) ? 1 : 0;
    if (!isEot(queue.Entry(queue.Count() - 1)))
        ++messages;
    const QString path = m_context.state.logFolder + QLatin1String(kDumpFileName);
    const bool saved = queue.SaveToFile(path);
    m_context.log.writeLog(QStringLiteral("The relay host did not accept an entry after %1 "
                                          "repetitions; %2 messages (%3 entries) %4 ")
                               .arg(TWaitingForAck::kMaxRetries)
                               .arg(messages)
                               .arg(queue.Count())
                               .arg(saved ? QStringLiteral("were moved to")
                                          : QStringLiteral("were dropped, they could not be "
                                                           "written to")) +
                           path);
    queue.Clear();
    m_next = 0;
}

void RelayTransport::readAnswer() {
    const QByteArray answer = m_socket.readAll();
    TRelayList& queue = m_context.queue;
    if (!answer.isEmpty() && m_ack.IsWaiting()) {
        // Only the first byte of a read counts.
        if (answer.at(0) == kAck) {
            if (m_next < queue.Count())
                ++m_next;
            m_ack.SetWaiting(false);
            m_ack.ResetRetries();
        } else if (answer.at(0) == kNak && m_next < queue.Count()) {
            m_ack.SetResend(true);
        }
    }
    if (queue.Count() == 0)
        m_sendTimer.stop();
}

void RelayTransport::PassThrough(const QByteArray& chunk) {
    if (m_context.state.relayEnabled && IsOpen())
        m_socket.write(chunk);
}

void RelayTransport::connected() {
    // Entries are a few bytes each and every one waits for its answer: the stack must not hold
    // a small write back until the previous one is acknowledged (an EOT followed by the next
    // ENQ would wait for the host's delayed acknowledgement).
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_context.state.relayConnection = RelayConnectionState::Connected;
    m_connectingTicks = 0;
    if (m_context.refreshCaption)
        m_context.refreshCaption();
    emit connectionChanged();
}

void RelayTransport::disconnected() {
    m_context.state.relayConnection = RelayConnectionState::Disconnected;
    restartMessage();
    if (m_context.refreshCaption)
        m_context.refreshCaption();
    emit connectionChanged();
}

void RelayTransport::restartMessage() {
    // A new connection starts the front message again at its ENQ.
    m_next = 0;
    m_ack.SetWaiting(false);
}
