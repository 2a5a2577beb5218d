#include "SerialLink.h"

#include <algorithm>
#include <exception>

#include "AnalyzerLinkHost.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "HousekeepingPause.h"
#include "LineReading.h"
#include "TSockets.h"
#include "TXMLDocument.h"
#include "TarvoError.h"
#include "Windows1252.h"
#include "XmlDispatcher.h"

namespace {

// Characters of unfinished XML text kept for the serial connection: whatever the XML layer
// reads from an archive may also arrive over the line.
constexpr qsizetype kPendingLimit = TXMLDocument::kLargestDocument;

QString serialIdentity() {
    return QLatin1String(kSerialIdentity);
}

} // namespace

SerialLink::SerialLink(AnalyzerLinkHost& host, QObject* parent) : QObject(parent), m_host(host) {
    connect(&m_port, &QSerialPort::readyRead, this, &SerialLink::RS232PortTriggerAvail);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::onError);
}

SerialLink::~SerialLink() {
    m_port.disconnect(this);
    m_port.close();
}

void SerialLink::configure(const SerialLineSettings& line) {
    if (m_port.isOpen())
        close();
    m_line = line;
    m_lastOpenFailure.clear();
}

bool SerialLink::open() {
    if (!m_line.configured())
        return false;
    if (m_port.isOpen())
        return true;
    m_port.setPortName(m_line.portName);
    m_port.setBaudRate(m_line.baudRate);
    m_port.setDataBits(m_line.dataBits);
    m_port.setParity(m_line.parity);
    m_port.setStopBits(m_line.stopBits);
    m_port.setFlowControl(m_line.flowControl);
    if (!m_port.open(QIODevice::ReadOnly)) {
        const QString reason = m_port.errorString();
        const bool denied = m_port.error() == QSerialPort::PermissionError;
        m_port.clearError();
        if (reason != m_lastOpenFailure) {
            m_lastOpenFailure = reason;
            m_host.log().writeLog(
                QStringLiteral("Serial port ") + m_line.portName +
                QStringLiteral(" cannot be opened (") + reason +
                QStringLiteral("); the main timer tries again") +
                (denied ? QStringLiteral(" (the collector's user needs access to it: on Linux "
                                         "the group dialout)")
                        : QString()));
        }
        return false;
    }
    m_lastOpenFailure.clear();
    m_lost = false;
    m_buffer.Clear();
    // A port that fails each time it opens is told about once, not at every tick.
    if (m_errorRun <= 2)
        m_host.log().writeLog(QStringLiteral("Serial port ") + m_line.portName +
                              QStringLiteral(" opened: ") + m_line.Describe());
    if (m_port.bytesAvailable() > 0)
        readLater();
    return true;
}

void SerialLink::close() {
    if (!m_port.isOpen())
        return;
    m_port.close();
    m_port.clearError();
    m_lost = false;
    m_buffer.Clear();
    if (m_pending.size() > 0)
        m_host.log().writeLog(QStringLiteral("Serial port %1 closed in the middle of a message; %2 "
                                             "characters of unfinished text discarded")
                                  .arg(m_line.portName)
                                  .arg(m_pending.size()));
    m_pending.clear();
}

void SerialLink::mainTimerTick() {
    if (m_lost)
        close();
    if (!m_port.isOpen()) {
        open();
        return;
    }
    if (m_port.bytesAvailable() > 0)
        RS232PortTriggerAvail();
}

void SerialLink::resumeReading() {
    if (m_port.isOpen() && m_port.bytesAvailable() > 0)
        readLater();
}

void SerialLink::readLater() {
    if (m_readQueued)
        return;
    m_readQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_readQueued = false;
            RS232PortTriggerAvail();
        },
        Qt::QueuedConnection);
}

void SerialLink::RS232PortTriggerAvail() {
    const CollectorState& state = m_host.state();
    // While end points are being written the bytes wait in the port.
    if (state.busy || !m_port.isOpen() || m_lost)
        return;
    const HousekeepingPause pause(m_host);
    try {
        // Only what the ring can hold is taken; the rest waits in the port for the next turn.
        const qint64 count =
            std::min<qint64>(m_port.bytesAvailable(), TBuffer::kSize - m_buffer.Count());
        if (count > 0) {
            QByteArray bytes(count, Qt::Uninitialized);
            const qint64 taken = m_port.read(bytes.data(), count);
            if (taken < 0) {
                // What the ring holds stays there for the next event.
                m_host.log().writeLog(QStringLiteral("Serial port ") + m_line.portName +
                                      QStringLiteral(": taking bytes failed (") +
                                      m_port.errorString() + u')');
                return;
            }
            m_bytesReceived += taken;
            if (taken > 0) {
                if (m_errorRun > 2)
                    m_host.log().writeLog(
                        QStringLiteral("Serial port ") + m_line.portName +
                        QStringLiteral(" reads again after %1 failures").arg(m_errorRun));
                m_errorRun = 0;
            }
            for (qint64 i = 0; i < taken; ++i) {
                const auto byte = std::uint8_t(bytes.at(i));
                if (byte != 0)
                    m_buffer.Put(byte);
            }
        }
        QByteArray received;
        received.reserve(m_buffer.Count());
        std::uint8_t byte = 0;
        while (m_buffer.Get(byte))
            received.append(char(byte));
        // Each byte is one character of the Windows code page.
        if (!received.isEmpty() && state.protocol == AnalyzerProtocol::Xml)
            dispatch(Windows1252::decode(received));
        else if (!received.isEmpty())
            lineRead(received);
    } catch (const std::exception& error) {
        m_host.reportApplicationError(describeError(error));
    }
    if (m_port.isOpen() && m_port.bytesAvailable() > 0)
        readLater();
}

void SerialLink::dispatch(const QString& text) {
    XmlDispatcher& dispatcher = m_host.dispatcher();
    const QString identity = serialIdentity();
    dispatcher.Dispatch(text, m_pending, identity);
    while (m_pending.FindCompleteMessage())
        dispatcher.Dispatch(QString(), m_pending, identity);
    limitPending();
}

void SerialLink::lineRead(const QByteArray& bytes) {
    LineReading::take(m_host, m_lines, bytes, serialIdentity(), serialIdentity());
}

void SerialLink::limitPending() {
    const qsizetype size = m_pending.size();
    const qsizetype dropped = m_pending.enforceLimit(kPendingLimit);
    if (dropped > 0)
        m_host.log().writeLog(
            QStringLiteral("Unfinished text from %1 passed the limit of %2 characters for one "
                           "message (%3 characters); the oldest %4 characters were dropped")
                .arg(serialIdentity())
                .arg(kPendingLimit)
                .arg(size)
                .arg(dropped));
}

void SerialLink::onError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return; // failures to open are reported by open(); the others do not concern reading
    if (m_lost)
        return;
    const QString reason = m_port.errorString();
    m_port.clearError();
    ++m_errorRun;
    // A line error is told once; a port that fails again before any byte arrives (a hung-up or
    // removed device reports failures without end) is closed and reopened by the main timer.
    if (m_errorRun == 1)
        discardReceived(QStringLiteral("line error: ") + reason);
    else
        discardQuietly();
    if (error != QSerialPort::ResourceError && m_errorRun < 2)
        return;
    if (m_errorRun <= 2)
        m_host.log().writeLog(QStringLiteral("Serial port ") + m_line.portName +
                              QStringLiteral(" is gone (") + reason +
                              QStringLiteral("); it is opened again when it is back"));
    // The port closes outside its own notification.
    m_lost = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_lost)
                close();
        },
        Qt::QueuedConnection);
}

qsizetype SerialLink::discardQuietly() {
    // A message of which a part is lost is dropped whole: nothing received before the error
    // joins what comes after it.
    const qint64 unread = m_port.isOpen() ? m_port.bytesAvailable() : 0;
    if (unread > 0)
        m_port.skip(unread);
    const qsizetype discarded = m_pending.size() + m_lines.unfinished() + m_buffer.Count() + unread;
    m_buffer.Clear();
    m_pending.clear();
    m_lines = LineFraming();
    return discarded;
}

void SerialLink::discardReceived(const QString& reason) {
    const qsizetype discarded = discardQuietly();
    m_host.log().writeLog(QStringLiteral("Serial port ") + m_line.portName + QStringLiteral(" (") +
                          reason + QStringLiteral("): ") + QString::number(discarded) +
                          QStringLiteral(" characters of received text discarded"));
    emit lineError();
}
