#include "ObservationReporter.h"

#include <algorithm>

#include "NetworkAddress.h"
#include "SettingKeys.h"
#include "SettingsStore.h"

ObservationReporter::ObservationReporter(const SettingsStore& settings, EventLog& log,
                                         QString folder, QObject* parent)
    : QObject(parent), m_settings(settings), m_log(log), m_folder(std::move(folder)) {
    m_ackTimer.setSingleShot(true);
    m_retryTimer.setSingleShot(true);
    connect(&m_ackTimer, &QTimer::timeout, this, [this] {
        lost(m_outstanding.isEmpty()
                 ? QStringLiteral("no connection within %1 ms").arg(m_ackTimeoutMs)
                 : QStringLiteral("no acknowledgement within %1 ms").arg(m_ackTimeoutMs));
    });
    connect(&m_retryTimer, &QTimer::timeout, this, &ObservationReporter::connectToEngine);
}

ObservationReporter::~ObservationReporter() {
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void ObservationReporter::SetTimeouts(int ackTimeoutMs, int firstBackoffMs) {
    m_ackTimeoutMs = std::max(1, ackTimeoutMs);
    m_firstBackoffMs = std::max(1, firstBackoffMs);
    m_backoffMs = m_firstBackoffMs;
}

QString ObservationReporter::SeriesKey(const StoredResult& result) {
    return result.patientId + u'\x1e' + result.parameter + u'\x1e' + result.place + u'\x1e' +
           QString::number(int(result.kind));
}

QString ObservationReporter::EventSeriesKey(const QString& patientId) {
    return patientId + u'\x1e' + QStringLiteral("Events");
}

void ObservationReporter::setConnection(const QString& connection) {
    if (m_connection == connection)
        return;
    m_connection = connection;
    emit statusChanged();
}

void ObservationReporter::ReadSettings() {
    ReportIdentity identity{m_settings.read(Setting::ReportSendingApplication),
                            m_settings.read(Setting::ReportSendingFacility),
                            m_settings.read(Setting::ReportReceivingApplication),
                            m_settings.read(Setting::ReportReceivingFacility)};
    m_identity = identity;
    m_controls = m_settings.read(Setting::ReportControls);
    m_events = m_settings.read(Setting::ReportEvents);
    const QString host = m_settings.read(Setting::ReportHost).trimmed();
    const int port = m_settings.read(Setting::ReportPort);
    QString target;
    if (!host.isEmpty() && port > 0 && port <= 65535) {
        // One strict reading of addresses for every setting that takes one.
        if (const auto address = NetworkAddress::parseHost(host))
            target = address->toString();
        else if (NetworkAddress::isHostName(host))
            target = host;
        else
            m_log.writeError(QStringLiteral("Error: ReportHost \"") + host +
                             QStringLiteral("\" is neither an address nor a host name; nothing "
                                            "is reported"));
    } else if (!host.isEmpty() || port != 0) {
        if (port < 0 || port > 65535)
            m_log.writeError(QStringLiteral("Error: ReportPort %1 is no TCP port; nothing is "
                                            "reported")
                                 .arg(port));
    }
    if (target.isEmpty()) {
        if (m_queue)
            m_log.writeLog(QStringLiteral("Reporting to the integration engine is off"));
        stop();
        m_queue.reset();
        m_host.clear();
        m_port = 0;
        setConnection(QStringLiteral("off"));
        return;
    }
    if (!m_queue) {
        m_queue = std::make_unique<ReportQueue>(
            m_folder, m_settings.read(Setting::ReportQueueLimit),
            [this](const QString& line, LogSeverity severity) { m_log.writeLog(line, severity); },
            [] { return QDate::currentDate(); });
        const qsizetype restored = m_queue->Load();
        if (restored > 0)
            m_log.writeLog(QStringLiteral("%1 report messages not yet acknowledged were taken "
                                          "back from ")
                               .arg(restored) +
                           m_queue->JournalPath());
    }
    if (target == m_host && port == m_port && m_socket)
        return;
    stop();
    m_host = target;
    m_port = port;
    m_log.writeLog(
        QStringLiteral("Reporting to the integration engine at %1:%2").arg(m_host).arg(m_port));
    m_backoffMs = m_firstBackoffMs;
    connectToEngine();
}

void ObservationReporter::stop() {
    m_ackTimer.stop();
    m_retryTimer.stop();
    m_outstanding.clear();
    m_received.clear();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
}

void ObservationReporter::connectToEngine() {
    if (m_host.isEmpty() || !m_queue)
        return;
    stop();
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        m_ackTimer.stop();
        // One small message waits for its answer: nothing is gained by holding it back.
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_log.writeLog(
            QStringLiteral("Connected to the integration engine at %1:%2").arg(m_host).arg(m_port));
        setConnection(QStringLiteral("connected"));
        sendNext();
    });
    connect(m_socket, &QTcpSocket::readyRead, this, &ObservationReporter::readAnswer);
    connect(m_socket, &QTcpSocket::disconnected, this,
            [this] { lost(QStringLiteral("the engine closed the connection")); });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_socket)
            lost(m_socket->errorString());
    });
    setConnection(QStringLiteral("connecting"));
    m_ackTimer.start(m_ackTimeoutMs);
    m_socket->connectToHost(m_host, quint16(m_port));
}

void ObservationReporter::lost(const QString& why) {
    if (!m_socket)
        return;
    const bool wasConnected = m_socket->state() == QAbstractSocket::ConnectedState ||
                              m_connection != QLatin1String("connecting");
    const QString outstanding = m_outstanding;
    stop();
    m_log.writeWarning(
        QStringLiteral("Integration engine %1:%2: %3%4; trying again in %5 s")
            .arg(m_host)
            .arg(m_port)
            .arg(why, outstanding.isEmpty()
                          ? QString()
                          : QStringLiteral(" (message %1 goes again)").arg(outstanding))
            .arg(double(m_backoffMs) / 1000.0));
    setConnection(wasConnected ? QStringLiteral("disconnected") : QStringLiteral("unreachable"));
    m_retryTimer.start(m_backoffMs);
    m_backoffMs = std::min(m_backoffMs * 2, kLongestBackoffMs);
}

void ObservationReporter::Report(const StoredResult& result) {
    if (!m_queue)
        return;
    if (result.kind != StoredResult::Kind::Patient && !m_controls)
        return;
    const QString series = SeriesKey(result);
    const qint64 time = result.time.toMSecsSinceEpoch();
    const QString value = ValueKey(result.value);
    if (m_queue->Taken(series, time, value))
        return;
    const QString controlId = m_queue->NextControlId(QDateTime::currentMSecsSinceEpoch());
    const QByteArray message =
        ObservationMessage(result, m_identity, controlId, QDateTime::currentDateTime());
    if (message.isEmpty()) {
        m_log.writeWarning(QStringLiteral("Not reported: patient %1, %2 %3 at %4 is no number")
                               .arg(result.patientId, result.parameter, result.place,
                                    result.time.toString(Qt::ISODate)));
        return;
    }
    enqueue(series, time, value, controlId, message);
}

void ObservationReporter::ReportEvent(const StoredEvent& event) {
    if (!m_queue || !m_events)
        return;
    const QString series = EventSeriesKey(event.patientId);
    const qint64 time = event.time.toMSecsSinceEpoch();
    if (m_queue->Taken(series, time, event.text))
        return;
    const QString controlId = m_queue->NextControlId(QDateTime::currentMSecsSinceEpoch());
    enqueue(series, time, event.text, controlId,
            EventMessage(event, m_identity, controlId, QDateTime::currentDateTime()));
}

void ObservationReporter::enqueue(const QString& series, qint64 time, const QString& value,
                                  const QString& controlId, const QByteArray& message) {
    m_queue->Add(series, time, value, controlId, message);
    emit statusChanged();
    sendNext();
}

void ObservationReporter::sendNext() {
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState ||
        !m_outstanding.isEmpty() || !m_queue || m_queue->Count() == 0)
        return;
    m_outstanding = m_queue->FrontControlId();
    QByteArray frame;
    const QByteArray message = m_queue->FrontMessage();
    frame.reserve(message.size() + 3);
    frame += kStartBlock;
    frame += message;
    frame += kEndBlock;
    frame += '\r';
    m_socket->write(frame);
    m_ackTimer.start(m_ackTimeoutMs);
    setConnection(QStringLiteral("waiting for acknowledgement"));
}

void ObservationReporter::readAnswer() {
    if (!m_socket)
        return;
    m_received += m_socket->readAll();
    while (m_socket) {
        const qsizetype start = m_received.indexOf(kStartBlock);
        if (start < 0) {
            m_received.clear();
            break;
        }
        const qsizetype end = m_received.indexOf(QByteArray("\x1c\r"), start);
        if (end < 0) {
            m_received.remove(0, start);
            if (m_received.size() > kLongestAnswer)
                lost(QStringLiteral("an answer longer than %1 bytes").arg(kLongestAnswer));
            break;
        }
        const QByteArray message = m_received.mid(start + 1, end - start - 1);
        m_received.remove(0, end + 2);
        answered(message);
    }
}

void ObservationReporter::answered(const QByteArray& message) {
    const Acknowledgement ack = ReadAcknowledgement(message);
    if (m_outstanding.isEmpty() || !ack.valid || ack.controlId != m_outstanding) {
        m_log.writeWarning(
            QStringLiteral("Integration engine %1:%2: an answer that acknowledges no message "
                           "waiting (%3) was ignored")
                .arg(m_host)
                .arg(m_port)
                .arg(ack.valid ? ack.code + u' ' + ack.controlId
                               : QStringLiteral("no acknowledgement")));
        return;
    }
    m_ackTimer.stop();
    const QString controlId = m_outstanding;
    if (ack.accepted()) {
        m_queue->RemoveFront();
        m_outstanding.clear();
        m_lastAcknowledged = QDateTime::currentDateTime();
        ++m_acknowledged;
        m_backoffMs = m_firstBackoffMs;
    } else {
        const bool kept = m_queue->RefuseFront(ack.code, ack.text, QDateTime::currentDateTime());
        m_log.writeError(QStringLiteral("Error: the integration engine refused report message "
                                        "%1 (%2: %3); it was moved to %4")
                             .arg(controlId, ack.code,
                                  ack.text.isEmpty() ? QStringLiteral("no reason given") : ack.text,
                                  m_queue->RefusedPath()));
        if (!kept) {
            // It cannot be set aside: it is offered again after a back-off.
            lost(QStringLiteral("a refused message could not be set aside"));
            return;
        }
        m_outstanding.clear();
        ++m_refused;
    }
    setConnection(QStringLiteral("connected"));
    emit statusChanged();
    sendNext();
}

void ObservationReporter::MainTimerTick() {
    if (m_queue)
        m_queue->Maintain();
}

ReportStatus ObservationReporter::Status() const {
    ReportStatus status;
    status.configured = m_queue != nullptr;
    status.host = m_host;
    status.port = m_port;
    status.connection = m_connection;
    status.queued = m_queue ? m_queue->Count() : 0;
    status.lastAcknowledged = m_lastAcknowledged;
    status.acknowledged = m_acknowledged;
    status.refused = m_refused;
    return status;
}

QString ObservationReporter::StatusLine() const {
    if (!m_queue)
        return QStringLiteral("off");
    return QStringLiteral("%1:%2 %3, %4 queued, last acknowledged %5")
        .arg(m_host)
        .arg(m_port)
        .arg(m_connection)
        .arg(m_queue->Count())
        .arg(m_lastAcknowledged.isValid() ? m_lastAcknowledged.toString(Qt::ISODate)
                                          : QStringLiteral("never"));
}
