#pragma once

#include <QObject>
#include <QSerialPort>

#include "LineFraming.h"
#include "PendingText.h"
#include "SerialLineSettings.h"
#include "TBuffer.h"

class AnalyzerLinkHost;

// The analyzer on a serial line: bytes from the port gather in the ring buffer and, with the
// XML protocol, go to the dispatcher as the text of the "RS232" connection record; with a line
// protocol they are cut into record-line messages of their own, apart from every TCP analyzer. The
// port is the one the settings name; it is closed when none is named. A port that cannot be opened,
// or that goes away (a USB adapter pulled), is opened again by the main timer once it is there.
class SerialLink : public QObject {
    Q_OBJECT

public:
    explicit SerialLink(AnalyzerLinkHost& host, QObject* parent = nullptr);
    ~SerialLink() override;

    // Takes the line settings; a port that is open closes first and opens with the new ones.
    void configure(const SerialLineSettings& line);
    const SerialLineSettings& line() const { return m_line; }

    // Opens the configured port when it is closed; a failure is logged once for each reason.
    bool open();
    void close();
    bool isOpen() const { return m_port.isOpen(); }

    // The main timer's duty: opens the configured port when it is closed, and reads what waits in
    // the port (bytes left there while Busy was set).
    void mainTimerTick();
    // Reads what waited in the port while Busy was set; call when Busy is cleared.
    void resumeReading();

    // The port's bytes-available event.
    void RS232PortTriggerAvail();

    QSerialPort& RS232Port() { return m_port; }
    TBuffer& buffer() { return m_buffer; }
    // Bytes taken from the port since the program started.
    qint64 bytesReceived() const { return m_bytesReceived; }
    // Characters of an unfinished message held for the serial connection.
    qsizetype pendingCharacters() const { return m_pending.size() + m_lines.unfinished(); }

signals:
    // A line error discarded what was received (the window sounds the default beep).
    void lineError();

private:
    void onError(QSerialPort::SerialPortError error);
    void discardReceived(const QString& reason);
    qsizetype discardQuietly();
    void dispatch(const QString& text);
    void lineRead(const QByteArray& bytes);
    void limitPending();
    void readLater();

    AnalyzerLinkHost& m_host;
    QSerialPort m_port;
    SerialLineSettings m_line;
    TBuffer m_buffer;
    PendingText m_pending;
    LineFraming m_lines;
    QString m_lastOpenFailure; // logged once until the port opens or the reason changes
    qint64 m_bytesReceived = 0;
    bool m_lost = false;       // the port went away; it closes and the main timer reopens it
    bool m_readQueued = false; // a read of what is left in the port is on its way
    int m_errorRun = 0;        // read failures since bytes were last taken
};
