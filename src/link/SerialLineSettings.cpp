#include "SerialLineSettings.h"

#include <QRegularExpression>

#include "SettingKeys.h"
#include "SettingsStore.h"

namespace {

constexpr qint32 kHighestBaudRate = 4000000;

QChar parityLetter(QSerialPort::Parity parity) {
    switch (parity) {
    case QSerialPort::EvenParity:
        return u'E';
    case QSerialPort::OddParity:
        return u'O';
    case QSerialPort::MarkParity:
        return u'M';
    case QSerialPort::SpaceParity:
        return u'S';
    default:
        return u'N';
    }
}

QString stopBitsText(QSerialPort::StopBits stopBits) {
    switch (stopBits) {
    case QSerialPort::OneAndHalfStop:
        return QStringLiteral("1.5");
    case QSerialPort::TwoStop:
        return QStringLiteral("2");
    default:
        return QStringLiteral("1");
    }
}

QString flowControlText(QSerialPort::FlowControl flowControl) {
    switch (flowControl) {
    case QSerialPort::HardwareControl:
        return QStringLiteral("RTS/CTS flow control");
    case QSerialPort::SoftwareControl:
        return QStringLiteral("XON/XOFF flow control");
    default:
        return QStringLiteral("no flow control");
    }
}

} // namespace

QString SerialLineSettings::Describe() const {
    return QString::number(baudRate) + QStringLiteral(" baud, ") + QString::number(int(dataBits)) +
           parityLetter(parity) + stopBitsText(stopBits) + QStringLiteral(", ") +
           flowControlText(flowControl);
}

bool SerialLineSettings::ParseFraming(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^([5-8])([NEOMS])(1|1\\.5|2)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return false;
    dataBits = QSerialPort::DataBits(match.captured(1).toInt());
    switch (match.captured(2).toUpper().at(0).unicode()) {
    case u'E':
        parity = QSerialPort::EvenParity;
        break;
    case u'O':
        parity = QSerialPort::OddParity;
        break;
    case u'M':
        parity = QSerialPort::MarkParity;
        break;
    case u'S':
        parity = QSerialPort::SpaceParity;
        break;
    default:
        parity = QSerialPort::NoParity;
        break;
    }
    const QString stop = match.captured(3);
    stopBits = stop == QLatin1String("2")     ? QSerialPort::TwoStop
               : stop == QLatin1String("1.5") ? QSerialPort::OneAndHalfStop
                                              : QSerialPort::OneStop;
    return true;
}

bool SerialLineSettings::ParseFlowControl(const QString& text) {
    const QString value = text.trimmed().toUpper();
    if (value == QLatin1String("NONE") || value.isEmpty())
        flowControl = QSerialPort::NoFlowControl;
    else if (value == QLatin1String("RTS/CTS") || value == QLatin1String("HARDWARE"))
        flowControl = QSerialPort::HardwareControl;
    else if (value == QLatin1String("XON/XOFF") || value == QLatin1String("SOFTWARE"))
        flowControl = QSerialPort::SoftwareControl;
    else
        return false;
    return true;
}

SerialLineSettings SerialLineSettings::Read(const SettingsStore& settings,
                                            const std::function<void(const QString&)>& complain) {
    SerialLineSettings line;
    line.portName = settings.read(Setting::SerialPort).trimmed();
    const int baudRate = settings.read(Setting::SerialBaudRate);
    if (baudRate > 0 && baudRate <= kHighestBaudRate) {
        line.baudRate = baudRate;
    } else {
        complain(QStringLiteral("The setting SerialBaudRate = ") + QString::number(baudRate) +
                 QStringLiteral(" is no baud rate; using ") +
                 QString::number(Setting::SerialBaudRate.defaultValue));
    }
    const QString framing = settings.read(Setting::SerialFraming);
    if (!line.ParseFraming(framing)) {
        line.ParseFraming(QLatin1String(Setting::SerialFraming.defaultValue));
        complain(QStringLiteral("The setting SerialFraming = \"") + framing +
                 QStringLiteral("\" is no framing (data bits 5 to 8, parity N, E, O, M or S, stop "
                                "bits 1, 1.5 or 2, as in 8N1); using ") +
                 QLatin1String(Setting::SerialFraming.defaultValue));
    }
    const QString flowControl = settings.read(Setting::SerialFlowControl);
    if (!line.ParseFlowControl(flowControl)) {
        line.ParseFlowControl(QLatin1String(Setting::SerialFlowControl.defaultValue));
        complain(QStringLiteral("The setting SerialFlowControl = \"") + flowControl +
                 QStringLiteral("\" is none of None, RTS/CTS, XON/XOFF; using no flow control"));
    }
    return line;
}
