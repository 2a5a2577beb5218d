// orvanta-automation-stub: a reference Orvanta automation server on D-Bus for running and
// testing the collector.
#include <cstdio>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>

#include "AutomationStub.h"

namespace {

struct CommandLine {
    AutomationStub::Options options;
    bool systemBus = false;
    QString address;
};

CommandLine readCommandLine(const QCoreApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Answers the Orvanta automation operations on D-Bus and logs each call as a JSON line."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption log({QStringLiteral("l"), QStringLiteral("log")},
                                 QStringLiteral("Append one JSON line per call to <file>."),
                                 QStringLiteral("file"));
    const QCommandLineOption fail(
        QStringLiteral("fail"),
        QStringLiteral("Refuse these operations (comma separated, e.g. NotifyUpdate,AddResult)."),
        QStringLiteral("operations"));
    const QCommandLineOption failCall(QStringLiteral("fail-call"),
                                      QStringLiteral("Refuse the n-th call (counting from 1)."),
                                      QStringLiteral("n"));
    const QCommandLineOption delay(QStringLiteral("delay-ms"),
                                   QStringLiteral("Answer each call this many ms late."),
                                   QStringLiteral("ms"));
    const QCommandLineOption systemBus(QStringLiteral("system"),
                                       QStringLiteral("Serve on the system bus."));
    const QCommandLineOption address(QStringLiteral("address"),
                                     QStringLiteral("Serve on the bus at this D-Bus address."),
                                     QStringLiteral("address"));
    parser.addOptions({log, fail, failCall, delay, systemBus, address});
    parser.process(app);

    CommandLine line;
    line.options.logFile = parser.value(log);
    for (const QString& operation : parser.value(fail).split(u',', Qt::SkipEmptyParts))
        line.options.failingOperations.insert(operation.trimmed());
    line.options.failingCall = parser.value(failCall).toInt();
    line.options.delayMs = parser.value(delay).toInt();
    line.systemBus = parser.isSet(systemBus);
    line.address = parser.value(address);
    return line;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TARVO_VERSION));
    const CommandLine line = readCommandLine(app);
    QDBusConnection bus =
        !line.address.isEmpty()
            ? QDBusConnection::connectToBus(line.address, QStringLiteral("stub"))
            : (line.systemBus ? QDBusConnection::systemBus() : QDBusConnection::sessionBus());
    if (!bus.isConnected()) {
        std::fprintf(stderr, "orvanta-automation-stub: no bus: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }

    AutomationStub stub(line.options);
    QString error;
    if (!stub.openLog(&error)) {
        std::fprintf(stderr, "orvanta-automation-stub: cannot open the log: %s\n",
                     qPrintable(error));
        return 1;
    }
    if (!bus.registerObject(QLatin1String(OrvantaBus::kObjectPath), &stub,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QLatin1String(OrvantaBus::kService))) {
        std::fprintf(stderr, "orvanta-automation-stub: cannot register %s: %s\n",
                     OrvantaBus::kService, qPrintable(bus.lastError().message()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
