// A receiving laboratory host for commissioning a relay and for tests: listens on a port,
// answers ENQ and frames as an ASTM E1381 receiver (or as a script says), and prints every
// message it received as one JSON line.
#include <cstdio>

#include <QCommandLineParser>
#include <QCoreApplication>

#include "AstmHost.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("astm-host"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARVO_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Receives relayed results as an ASTM E1381 host and prints each message as JSON."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port({"p", "port"}, "Port to listen on (default 13000).", "port",
                                  "13000");
    const QCommandLineOption nakEvery("nak-every", "Answer every n-th ENQ or frame with NAK.", "n");
    const QCommandLineOption nakEnq("nak-enq", "Answer every ENQ with NAK.");
    const QCommandLineOption silent("silent", "Never answer.");
    const QCommandLineOption closeAfter("close-after-frames",
                                        "Close the connection after n frames.", "n");
    const QCommandLineOption closeTimes("close-times", "How often to close (default 1).", "n", "1");
    const QCommandLineOption delay("delay-ms", "Answer this late.", "ms");
    parser.addOptions({port, nakEvery, nakEnq, silent, closeAfter, closeTimes, delay});
    parser.process(app);

    AstmHostScript script;
    script.nakEvery = parser.value(nakEvery).toInt();
    script.nakEnq = parser.isSet(nakEnq);
    script.silent = parser.isSet(silent);
    script.closeAfterFrames = parser.value(closeAfter).toInt();
    script.closeTimes = parser.value(closeTimes).toInt();
    script.delayMs = parser.value(delay).toInt();
    AstmHost host(script);
    QObject::connect(&host, &AstmHost::report, [](const QByteArray& line) {
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
    if (!host.listen(quint16(parser.value(port).toInt()))) {
        std::fprintf(stderr, "astm-host: cannot listen on port %s\n",
                     qPrintable(parser.value(port)));
        return 1;
    }
    std::fprintf(stderr, "astm-host: listening on port %u\n", unsigned(host.port()));
    return app.exec();
}
