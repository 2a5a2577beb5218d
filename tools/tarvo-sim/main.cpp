// An analyzer for demos, tests and benchmarks: connects to a collector and sends results, over
// TCP or on a serial line.
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>

#include <QCoreApplication>
#include <QFile>
#include <QSerialPort>
#include <QTcpSocket>

#include "SimulatedMessages.h"
#include "Windows1252.h"

using namespace SimulatedMessages;

namespace {

constexpr auto kUsage =
    "Usage: tarvo-sim [--host H] [--port P] [--serial DEVICE [--baud B]] [--pieces] [--seed N]\n"
    "                 [--repeat N] [--delay-ms D] COMMAND ARGUMENTS [OPTIONS]\n"
    "\n"
    "Sends what a microdialysis analyzer sends (XML as UTF-16LE over TCP and one byte per\n"
    "character of the Windows code page on a serial line, records as text).\n"
    "\n"
    "  live ID ANALYTE VALUE [--place P] [--unit U] [--time T] [--first F] [--last L]\n"
    "                        [--closed]        a live measurement\n"
    "  control low|high ANALYTE VALUE          an automatic control result\n"
    "  admission ID [--events N]               an admission with N events\n"
    "  document ID [--schema 2004|2008|2012] [--measurements N] [--unique-id U]\n"
    "              [--places N]                a patient-data document\n"
    "  records ID ANALYTE VALUE [--results N] [--patients P]\n"
    "                                          N results in record lines (line protocols),\n"
    "                                          each 0.001 higher and 1 s later, for the\n"
    "                                          patients ID0 ... ID(P-1) in turn when P > 1\n"
    "  file PATH...                            the files' text (XML files as UTF-16LE)\n"
    "  stream --patients N --results N         live measurements and controls, mixed\n"
    "\n"
    "  --host H       collector host (default 127.0.0.1)\n"
    "  --port P       analyzer port (default 13000)\n"
    "  --serial DEVICE  send on this serial device (/dev/ttyUSB0, COM3) instead of TCP,\n"
    "                 8 data bits, no parity, 1 stop bit, no flow control\n"
    "  --baud B       speed of the serial line (default 9600)\n"
    "  --pieces       cut the bytes into random pieces, sent one by one\n"
    "  --seed N       seed of the random pieces (default 1)\n"
    "  --repeat N     send the message N times\n"
    "  --delay-ms D   pause between messages\n"
    "  --time T       measurement time, yyyy-MM-ddTHH:mm:ss (default now)\n"
    "  --version      print the version and exit\n"
    "  --help         print this text and exit\n";

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

struct Options {
    QString host = QStringLiteral("127.0.0.1");
    int port = 13000;
    QString serial; // a serial device instead of TCP
    int baud = 9600;
    bool pieces = false;
    unsigned seed = 1;
    int repeat = 1;
    int delayMs = 0;
    QStringList positional;
    QHash<QString, QString> named; // options of the command
    bool closed = false;
};

bool parse(const QStringList& arguments, Options& options, QString& error) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        auto value = [&]() -> QString {
            if (i + 1 >= arguments.size()) {
                error = a + QStringLiteral(" needs a value");
                return {};
            }
            return arguments.at(++i);
        };
        if (a == QLatin1String("--host"))
            options.host = value();
        else if (a == QLatin1String("--port"))
            options.port = value().toInt();
        else if (a == QLatin1String("--serial"))
            options.serial = value();
        else if (a == QLatin1String("--baud"))
            options.baud = value().toInt();
        else if (a == QLatin1String("--pieces"))
            options.pieces = true;
        else if (a == QLatin1String("--seed"))
            options.seed = value().toUInt();
        else if (a == QLatin1String("--repeat"))
            options.repeat = value().toInt();
        else if (a == QLatin1String("--delay-ms"))
            options.delayMs = value().toInt();
        else if (a == QLatin1String("--closed"))
            options.closed = true;
        else if (a.startsWith(QLatin1String("--")))
            options.named.insert(a.mid(2), value());
        else
            options.positional << a;
        if (!error.isEmpty())
            return false;
    }
    if (options.positional.isEmpty()) {
        error = QStringLiteral("no command");
        return false;
    }
    return true;
}

QDateTime timeOption(const Options& options) {
    const QString text = options.named.value(QStringLiteral("time"));
    const QDateTime time = QDateTime::fromString(text, Qt::ISODate);
    return time.isValid() ? time : QDateTime::currentDateTime().addMSecs(0);
}

// XML as the link carries it: UTF-16LE over TCP, one byte per character on a serial line.
QByteArray xmlBytes(const Options& options, const QString& text) {
    return options.serial.isEmpty() ? utf16(text) : Windows1252::encode(text);
}

Patient patientOf(const Options& options, const QString& id) {
    return {id, options.named.value(QStringLiteral("first"), QStringLiteral("Sim")),
            options.named.value(QStringLiteral("last"), QStringLiteral("Patient ") + id)};
}

using Messages = std::vector<QByteArray>;

int namedInt(const Options& o, const char* name, const char* fallback) {
    return o.named.value(QLatin1String(name), QLatin1String(fallback)).toInt();
}

bool buildLive(const Options& o, const QStringList& args, Messages& messages, QString&) {
    LiveMeasurement m;
    m.patient = patientOf(o, args[0]);
    m.analyte = args[1];
    m.value = args[2].toDouble();
    m.place = o.named.value(QStringLiteral("place"), m.place);
    m.unit = o.named.value(QStringLiteral("unit"), m.unit);
    m.time = timeOption(o);
    m.connection = o.closed ? QStringLiteral("Closed") : QStringLiteral("Open");
    messages.push_back(xmlBytes(o, live(m)));
    return true;
}

bool buildControl(const Options& o, const QStringList& args, Messages& messages, QString&) {
    AutoControlResult r;
    r.low = args[0].toLower() == QLatin1String("low");
    r.analyte = args[1];
    r.value = args[2].toDouble();
    r.time = timeOption(o);
    messages.push_back(xmlBytes(o, autoControl(r)));
    return true;
}

bool buildAdmission(const Options& o, const QStringList& args, Messages& messages, QString&) {
    std::vector<Event> events;
    const int count = namedInt(o, "events", "2");
    const QDateTime time = timeOption(o);
    for (int i = 0; i < count; ++i)
        events.push_back({time.addSecs(-60 * (count - i)), QStringLiteral("Event %1").arg(i + 1)});
    messages.push_back(xmlBytes(o, admission(patientOf(o, args[0]), events)));
    return true;
}

bool buildDocument(const Options& o, const QStringList& args, Messages& messages, QString&) {
    PatientDocument d;
    d.patient = patientOf(o, args[0]);
    d.schemaYear = namedInt(o, "schema", "2012");
    d.measurements = namedInt(o, "measurements", "12");
    d.uniqueId =
        o.named.value(QStringLiteral("unique-id"), QStringLiteral("{ADM-") + args[0] + u'}');
    const int places = namedInt(o, "places", "1");
    d.places.clear();
    for (int i = 0; i < std::max(1, places); ++i)
        d.places << QStringLiteral("Catheter%1").arg(i + 1);
    d.start = timeOption(o).addSecs(-24 * 3600);
    messages.push_back(xmlBytes(o, patientData(d)));
    return true;
}

// Result i of N: the value plus i/1000, one second later each, spread over the patients ID0 ...
// ID(P-1) when more than one is asked for.
bool buildRecords(const Options& o, const QStringList& args, Messages& messages, QString&) {
    const int results = namedInt(o, "results", "1");
    const int patients = namedInt(o, "patients", "1");
    const QDateTime time = timeOption(o);
    for (int i = 0; i < std::max(1, results); ++i) {
        const QString id = patients > 1 ? args[0] + QString::number(i % patients) : args[0];
        messages.push_back(recordMessage(patientOf(o, id), args[1], args[2].toDouble() + i / 1000.0,
                                         QStringLiteral("mmol/L"), time.addSecs(i))
                               .toUtf8());
    }
    return true;
}

bool buildFiles(const Options& o, const QStringList& args, Messages& messages, QString& error) {
    for (const QString& path : args) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            error = path + QStringLiteral(": ") + file.errorString();
            return false;
        }
        const QByteArray bytes = file.readAll();
        const bool isUtf16 = bytes.size() > 1 && (bytes.at(1) == 0 || bytes.at(0) == 0);
        if (!path.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive))
            messages.push_back(bytes);
        else if (isUtf16 && o.serial.isEmpty())
            messages.push_back(bytes);
        else if (isUtf16)
            messages.push_back(
                xmlBytes(o, QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()),
                                               bytes.size() / 2)));
        else
            messages.push_back(xmlBytes(o, QString::fromUtf8(bytes)));
    }
    return true;
}

bool buildStream(const Options& o, const QStringList&, Messages& messages, QString&) {
    const int patients = namedInt(o, "patients", "5");
    const int results = namedInt(o, "results", "100");
    const QDateTime start = timeOption(o);
    for (int i = 0; i < results; ++i) {
        if (i % 4 == 3) {
            AutoControlResult r;
            r.low = i % 8 == 3;
            r.time = start.addSecs(i);
            r.value = 1 + i % 10;
            messages.push_back(xmlBytes(o, autoControl(r)));
        } else {
            LiveMeasurement m;
            m.patient = patientOf(o, QStringLiteral("SIM%1").arg(i % std::max(1, patients)));
            m.time = start.addSecs(i);
            m.value = 2 + (i % 30) / 10.0;
            messages.push_back(xmlBytes(o, live(m)));
        }
    }
    return true;
}

// The messages of the command, each as the bytes to send.
bool build(const Options& o, Messages& messages, QString& error) {
    using Builder = bool (*)(const Options&, const QStringList&, Messages&, QString&);
    struct Command {
        const char* name;
        int arguments;
        Builder builder;
    };
    static const Command commands[] = {
        {"live", 3, buildLive},           {"control", 3, buildControl},
        {"admission", 1, buildAdmission}, {"document", 1, buildDocument},
        {"records", 3, buildRecords},     {"file", 1, buildFiles},
        {"stream", 0, buildStream}};
    const QString command = o.positional.at(0);
    const QStringList args = o.positional.mid(1);
    for (const Command& known : commands) {
        if (command != QLatin1String(known.name))
            continue;
        if (args.size() < known.arguments) {
            error = command + QStringLiteral(" needs %1 arguments").arg(known.arguments);
            return false;
        }
        return known.builder(o, args, messages, error);
    }
    error = QStringLiteral("unknown command ") + command;
    return false;
}

// The TCP connection or the serial port the messages go to; null with the error printed.
std::unique_ptr<QIODevice> openLink(const Options& options) {
    if (options.serial.isEmpty()) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(options.host, quint16(options.port));
        if (socket->waitForConnected(5000))
            return socket;
        print(stderr, QStringLiteral("tarvo-sim: cannot connect to ") + options.host + u':' +
                          QString::number(options.port) + QStringLiteral(": ") +
                          socket->errorString() + u'\n');
        return nullptr;
    }
    auto port = std::make_unique<QSerialPort>(options.serial);
    port->setBaudRate(options.baud);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    if (options.baud > 0 && port->open(QIODevice::WriteOnly))
        return port;
    print(stderr,
          QStringLiteral("tarvo-sim: cannot open ") + options.serial + QStringLiteral(": ") +
              (options.baud <= 0 ? QStringLiteral("no baud rate") : port->errorString()) + u'\n');
    return nullptr;
}

// Sends every message (in random pieces when asked) as often as asked; false with the error
// printed when the link fails. Adds the bytes sent.
bool sendAll(QIODevice& link, const Options& options, const Messages& messages, qint64& sent) {
    std::mt19937 random(options.seed);
    for (int r = 0; r < std::max(1, options.repeat); ++r) {
        for (const QByteArray& message : messages) {
            const Messages pieces =
                options.pieces ? randomPieces(message, random) : Messages{message};
            for (const QByteArray& piece : pieces) {
                link.write(piece);
                while (link.bytesToWrite() > 0) {
                    if (!link.waitForBytesWritten(10000)) {
                        print(stderr, QStringLiteral("tarvo-sim: sending failed: ") +
                                          link.errorString() + u'\n');
                        return false;
                    }
                }
                if (options.pieces)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            sent += message.size();
            if (options.delayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(options.delayMs));
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options options;
    QString error;
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.contains(QLatin1String("--help"))) {
        print(stdout, QLatin1String(kUsage));
        return 0;
    }
    if (arguments.contains(QLatin1String("--version"))) {
        print(stdout, QStringLiteral("tarvo-sim " TARVO_VERSION "\n"));
        return 0;
    }
    std::vector<QByteArray> messages;
    if (!parse(arguments, options, error) || !build(options, messages, error)) {
        print(stderr, QStringLiteral("tarvo-sim: ") + error + u'\n' + QLatin1String(kUsage));
        return 2;
    }
    const std::unique_ptr<QIODevice> link = openLink(options);
    if (!link)
        return 1;
    qint64 sent = 0;
    if (!sendAll(*link, options, messages, sent))
        return 1;
    if (auto* socket = qobject_cast<QTcpSocket*>(link.get())) {
        socket->disconnectFromHost();
        if (socket->state() != QAbstractSocket::UnconnectedState)
            socket->waitForDisconnected(5000);
    } else {
        link->close();
    }
    print(stdout, QStringLiteral("sent %1 messages, %2 bytes\n")
                      .arg(qsizetype(messages.size()) * std::max(1, options.repeat))
                      .arg(sent));
    return 0;
}
