#include <cstdio>
#include <type_traits>

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QTranslator>

#include "Collector.h"
#include "CommandLine.h"
#include "CommandRoute.h"
#include "DBusPanoptraAutoObject.h"
#include "GuardedApplication.h"
#include "JournalMirror.h"
#include "LanguageSelection.h"
#include "LocalTimeZone.h"
#include "OperatorCommands.h"
#include "OperatorMessages.h"
#include "OperatorQuestions.h"
#include "ServiceMonitor.h"
#include "SingleInstance.h"
#include "TerminationSignals.h"
#include "TfrmCollectData.h"
#include "WindowOperatorMessages.h"

namespace {

// The exit status of --command when the running collector refused the command.
constexpr int kCommandRefused = 4;
// The exit status of --command when the running collector carried the command out but can store
// nothing now (its data root can be neither created nor written).
constexpr int kCollectorNotStoring = 6;

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// The automation server is on the session bus for a user's installation and on the system bus
// for a machine-wide one.
std::unique_ptr<IPanoptraAutoObject> createAutomation(RegistryRoot root) {
    const QDBusConnection bus = root == RegistryRoot::LocalMachine ? QDBusConnection::systemBus()
                                                                   : QDBusConnection::sessionBus();
    return DBusPanoptraAutoObject::create(bus);
}

// Whether a window can be shown: the platform plug-in Qt would choose needs its display server.
// Plug-ins that need none (offscreen, vnc, and the platforms of other systems) always can.
bool displayAvailable() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (platform.isEmpty())
        return x11 || wayland;
    if (platform.startsWith(QLatin1String("xcb")))
        return x11;
    if (platform.startsWith(QLatin1String("wayland")))
        return wayland;
    return true;
#else
    return true;
#endif
}

QStringList argumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// The collector, with its window when Application is a widget application.
template <typename Application> int run(int argc, char** argv, const CommandLine& commandLine) {
    GuardedApplication<Application> app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("TarvoCollect"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARVO_VERSION));
    constexpr bool windowed = std::is_same_v<Application, QApplication>;

    if (!commandLine.error.isEmpty()) {
        print(stderr, QStringLiteral("tarvo-collect: ") + commandLine.error + u'\n' +
                          CommandLine::helpText());
        return 2;
    }
    if (commandLine.showHelp) {
        print(stdout, CommandLine::helpText());
        return 0;
    }
    if (commandLine.showVersion) {
        print(stdout, QStringLiteral("tarvo-collect " TARVO_VERSION "\n"));
        return 0;
    }

    // A request to end that arrives during start-up waits in the handler until the event loop
    // runs, and then closes the collector like any later one.
    TerminationSignals termination;
    const QMetaObject::Connection quitOnTermination =
        QObject::connect(&termination, &TerminationSignals::terminationRequested, &app,
                         &QCoreApplication::quit, Qt::QueuedConnection);

    const QString executablePath =
        QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    const InstallationLayout layout =
        commandLine.rootFolder.isEmpty()
            ? InstallationLayout::standard(QCoreApplication::applicationDirPath())
            : InstallationLayout::portableAt(commandLine.rootFolder);

    if (!commandLine.command.isEmpty()) {
        // Rebuilding a patient can take a while; the answer comes when it is done.
        const CommandRoute::Reply reply =
            CommandRoute::send(layout.rootFolder, !commandLine.rootFolder.isEmpty(),
                               commandLine.command, ServiceLocation::packaged(), 120000);
        const SingleInstance::Answer& answer = reply.answer;
        if (!answer.received) {
            print(stderr, QStringLiteral("No running TarvoCollect answered for ") +
                              reply.triedRoots.join(QStringLiteral(" or ")) + u'\n');
            return 1;
        }
        if (reply.byService)
            print(stderr, QStringLiteral("Answered by the TarvoCollect service for ") +
                              reply.answeredRoot + u'\n');
        if (answer.refused) {
            print(stderr, answer.text + u'\n');
            return kCommandRefused;
        }
        print(stdout, answer.text + u'\n');
        return answer.notStoring ? kCollectorNotStoring : 0;
    }

    if (layout.portable)
        QDir().mkpath(layout.driveC); // the portable stand-in for drive C exists like a drive

    SingleInstance instance(layout.rootFolder);
    if (!instance.acquire()) {
        const SingleInstance::Answer answer =
            SingleInstance::ask(layout.rootFolder, QLatin1String(SingleInstance::kShowCommand));
        print(stderr, QStringLiteral("TarvoCollect is already running for ") + layout.rootFolder +
                          (!answer.received ? QStringLiteral("; it did not answer.\n")
                                            : QStringLiteral("; asked it to show its window.\n")));
        return 0;
    }

    const RegistryHives hives(layout.currentUserHiveFile, layout.localMachineHiveFile);
    const auto translator =
        LanguageSelection::install(executablePath, LanguageSelection::readLanguageId(hives));

    HeadlessOperatorMessages headlessMessages;
    MessageBoxQuestions questions;
    WindowOperatorMessages windowMessages(questions);
    OperatorMessages& messages =
        windowed ? static_cast<OperatorMessages&>(windowMessages) : headlessMessages;
    CollectorEnvironment environment;
    environment.layout = layout;
    environment.executablePath = executablePath;
    environment.firstArgument = commandLine.firstArgument;
    environment.messages = &messages;
    environment.createAutomation = createAutomation;
    // The application errors of start-up also go to standard error, so that an engineer sees why
    // the collector is not listening.
    environment.startupErrorEcho = [](const QString& line) {
        print(stderr, line + u'\n');
    };
    Collector collector(environment);
    JournalMirror journal(stderr);
    if (JournalMirror::wanted(commandLine.logToStderr)) {
        collector.log().setMirror(
            [&journal](const QString& message, const QString& line, LogSeverity severity) {
                journal.write(message, line, severity);
            });
    }

    app.setFailureHandler(
        [&collector](const QString& message) { collector.handleApplicationError(message); });
    QObject::connect(&instance, &SingleInstance::showRequested, &collector,
                     &Collector::showWindowRequested);

    if (collector.start() == Collector::StartOutcome::Terminate)
        return collector.exitCode();

    OperatorCommands commands(collector);
    instance.setCommandHandler([&commands](const QString& request) {
        const OperatorAnswer answer = commands.Execute(request);
        return SingleInstance::Answer{answer.text, answer.refused, true, answer.notStoring};
    });
    ServiceMonitor monitor(collector, [&commands] { return commands.StatusJson(); });
    monitor.start();

    QObject::connect(&app, &QCoreApplication::aboutToQuit, &monitor, &ServiceMonitor::stop);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &collector, &Collector::close);
    if constexpr (windowed) {
        // The window ends the program when it closes; hiding it to the tray does not.
        QApplication::setQuitOnLastWindowClosed(false);
        TfrmCollectData window(collector, questions);
        // A screen smaller than the window as designed gets a window that fits on it.
        if (const QScreen* screen = window.screen())
            window.resize(window.size().boundedTo(screen->availableGeometry().size()));
        windowMessages.setParent(&window);
        QObject::connect(&window, &TfrmCollectData::closed, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        // A request to end closes the window without a question, and the closed window ends
        // the program (quitting directly would ask the window, which asks the operator).
        QObject::disconnect(quitOnTermination);
        QObject::connect(&termination, &TerminationSignals::terminationRequested, &window,
                         &TfrmCollectData::endSession, Qt::QueuedConnection);
        window.fitToScreen();
        window.show();
        return QCoreApplication::exec();
    }
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    readLocalTimeZoneOnce();
    const CommandLine commandLine = CommandLine::parse(argumentsOf(argc, argv));
    const bool asksOnly = !commandLine.error.isEmpty() || commandLine.showHelp ||
                          commandLine.showVersion || !commandLine.command.isEmpty();
    if (commandLine.headless || asksOnly)
        return run<QCoreApplication>(argc, argv, commandLine);
    if (!displayAvailable()) {
        print(stderr,
              QStringLiteral("tarvo-collect: no display can be opened; running headless\n"));
        return run<QCoreApplication>(argc, argv, commandLine);
    }
    return run<QApplication>(argc, argv, commandLine);
}
