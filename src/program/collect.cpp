// tarvo-collect: the collector with its window and tray icon; headless when asked (--headless)
// or when no display can be opened.
#include <QApplication>
#include <QScreen>

#include "Collector.h"
#include "GuardedApplication.h"
#include "LocalTimeZone.h"
#include "OperatorQuestions.h"
#include "ProgramStart.h"
#include "TerminationSignals.h"
#include "TfrmCollectData.h"
#include "WindowOperatorMessages.h"

namespace {

const QString kProgram = QStringLiteral("tarvo-collect");

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

// Shows the window until it closes; a request to end closes it without a question, and the
// closed window ends the program (quitting directly would ask the window, which asks the
// operator).
int showWindow(CollectorProgram& program, MessageBoxQuestions& questions,
               WindowOperatorMessages& messages) {
    // The window ends the program when it closes; hiding it to the tray does not.
    QApplication::setQuitOnLastWindowClosed(false);
    TfrmCollectData window(program.collector(), questions);
    // A screen smaller than the window as designed gets a window that fits on it.
    if (const QScreen* screen = window.screen())
        window.resize(window.size().boundedTo(screen->availableGeometry().size()));
    messages.setParent(&window);
    QObject::connect(&window, &TfrmCollectData::closed, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    program.takeOverTermination();
    QObject::connect(&program.termination(), &TerminationSignals::terminationRequested, &window,
                     &TfrmCollectData::endSession, Qt::QueuedConnection);
    window.fitToScreen();
    window.show();
    return QCoreApplication::exec();
}

int runWindowed(int argc, char** argv, const CommandLine& commandLine) {
    GuardedApplication<QApplication> app(argc, argv);
    if (const std::optional<int> status = ProgramStart::answerAlone(commandLine, kProgram))
        return *status;
    MessageBoxQuestions questions;
    WindowOperatorMessages messages(questions);
    CollectorProgram program(commandLine);
    const auto setFailureHandler = [&app](std::function<void(const QString&)> handler) {
        app.setFailureHandler(std::move(handler));
    };
    if (const std::optional<int> status = program.start(messages, setFailureHandler))
        return *status;
    return showWindow(program, questions, messages);
}

} // namespace

int main(int argc, char** argv) {
    readLocalTimeZoneOnce();
    const CommandLine commandLine = CommandLine::parse(ProgramStart::argumentsOf(argc, argv));
    const bool asksOnly = !commandLine.error.isEmpty() || commandLine.showHelp ||
                          commandLine.showVersion || !commandLine.command.isEmpty();
    if (commandLine.headless || asksOnly)
        return ProgramStart::runHeadless(argc, argv, commandLine, kProgram);
    if (!displayAvailable()) {
        ProgramStart::print(
            stderr, QStringLiteral("tarvo-collect: no display can be opened; running headless\n"));
        return ProgramStart::runHeadless(argc, argv, commandLine, kProgram);
    }
    return runWindowed(argc, argv, commandLine);
}
