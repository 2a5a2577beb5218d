#pragma once

#include <functional>

#include <QSerialPort>
#include <QString>

class SettingsStore;

// How the serial line of an analyzer is set up: the device and its line parameters, from the
// settings SerialPort, SerialBaudRate, SerialFraming and SerialFlowControl. An empty device
// leaves the serial link closed.
struct SerialLineSettings {
    QString portName;
    qint32 baudRate = 9600;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;

    bool configured() const { return !portName.trimmed().isEmpty(); }
    // "9600 baud, 8N1, no flow control".
    QString Describe() const;

    // Reads the settings; a value that cannot be used is reported through complain and its
    // default is used instead.
    static SerialLineSettings Read(const SettingsStore& settings,
                                   const std::function<void(const QString&)>& complain);
    // "8N1", "7E2", "8O1.5": false, with nothing changed, when the text is no framing.
    bool ParseFraming(const QString& text);
    // "None", "RTS/CTS" (or "Hardware"), "XON/XOFF" (or "Software"), any case.
    bool ParseFlowControl(const QString& text);
};
