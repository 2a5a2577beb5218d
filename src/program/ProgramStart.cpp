#include "ProgramStart.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QTranslator>

#include "Collector.h"
#include "CommandRoute.h"
#include "DBusPanoptraAutoObject.h"
#include "GuardedApplication.h"
#include "JournalMirror.h"
#include "LanguageSelection.h"
#include "OperatorCommands.h"
#include "OperatorMessages.h"
#include "ServiceMonitor.h"
#include "SingleInstance.h"
#include "TerminationSignals.h"

namespace {

// The exit status of --command when the running collector refused the command.
constexpr int kCommandRefused = 4;
// The exit status of --command when the running collector carried the command out but can store
// nothing now (its data root can be neither created nor written).
constexpr int kCollectorNotStoring = 6;
// Rebuilding a patient can take a while; the answer to a command comes when it is done.
constexpr int kCommandTimeoutMs = 120000;

// The automation server is on the session bus for a user's installation and on the system bus
// for a machine-wide one.
std::unique_ptr<IPanoptraAutoObject> createAutomation(RegistryRoot root) {
    const QDBusConnection bus = root == RegistryRoot::LocalMachine ? QDBusConnection::systemBus()
                                                                   : QDBusConnection::sessionBus();
    return DBusPanoptraAutoObject::create(bus);
}

InstallationLayout layoutOf(const CommandLine& commandLine) {
    return commandLine.rootFolder.isEmpty()
               ? InstallationLayout::standard(QCoreApplication::applicationDirPath())
               : InstallationLayout::portableAt(commandLine.rootFolder);
}

int sendCommand(const CommandLine& commandLine) {
    const InstallationLayout layout = layoutOf(commandLine);
    const CommandRoute::Reply reply =
        CommandRoute::send(layout.rootFolder, !commandLine.rootFolder.isEmpty(),
                           commandLine.command, ServiceLocation::packaged(), kCommandTimeoutMs);
    const SingleInstance::Answer& answer = reply.answer;
    if (!answer.received) {
        ProgramStart::print(stderr, QStringLiteral("No running TarvoCollect answered for ") +
                                        reply.triedRoots.join(QStringLiteral(" or ")) + u'\n');
        return 1;
    }
    if (reply.byService)
        ProgramStart::print(stderr, QStringLiteral("Answered by the TarvoCollect service for ") +
                                        reply.answeredRoot + u'\n');
    if (answer.refused) {
        ProgramStart::print(stderr, answer.text + u'\n');
        return kCommandRefused;
    }
    ProgramStart::print(stdout, answer.text + u'\n');
    return answer.notStoring ? kCollectorNotStoring : 0;
}

} // namespace

namespace ProgramStart {

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

QStringList argumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

std::optional<int> answerAlone(const CommandLine& commandLine, const QString& program) {
    QCoreApplication::setApplicationName(QStringLiteral("TarvoCollect"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARVO_VERSION));
    const bool windowed = program == QLatin1String("tarvo-collect");
    if (!commandLine.error.isEmpty()) {
        print(stderr, program + QStringLiteral(": ") + commandLine.error + u'\n' +
                          CommandLine::helpText(program, windowed));
        return 2;
    }
    if (commandLine.showHelp) {
        print(stdout, CommandLine::helpText(program, windowed));
        return 0;
    }
    if (commandLine.showVersion) {
        print(stdout, program + QStringLiteral(" " TARVO_VERSION "\n"));
        return 0;
    }
    if (!commandLine.command.isEmpty())
        return sendCommand(commandLine);
    return std::nullopt;
}

int runHeadless(int argc, char** argv, const CommandLine& commandLine, const QString& program) {
    GuardedApplication<QCoreApplication> app(argc, argv);
    if (const std::optional<int> status = answerAlone(commandLine, program))
        return *status;
    HeadlessOperatorMessages messages;
    CollectorProgram collector(commandLine);
    const auto setFailureHandler = [&app](std::function<void(const QString&)> handler) {
        app.setFailureHandler(std::move(handler));
    };
    if (const std::optional<int> status = collector.start(messages, setFailureHandler))
        return *status;
    return QCoreApplication::exec();
}

} // namespace ProgramStart

CollectorProgram::CollectorProgram(const CommandLine& commandLine)
    : m_commandLine(commandLine), m_layout(layoutOf(commandLine)),
      m_termination(std::make_unique<TerminationSignals>()) {
    m_quitOnTermination = QObject::connect(
        m_termination.get(), &TerminationSignals::terminationRequested,
        QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

CollectorProgram::~CollectorProgram() = default;

void CollectorProgram::takeOverTermination() {
    QObject::disconnect(m_quitOnTermination);
}

bool CollectorProgram::claimRoot() {
    if (m_layout.portable)
        QDir().mkpath(m_layout.driveC); // the portable stand-in for drive C exists like a drive
    m_instance = std::make_unique<SingleInstance>(m_layout.rootFolder);
    if (m_instance->acquire())
        return true;
    const SingleInstance::Answer answer =
        SingleInstance::ask(m_layout.rootFolder, QLatin1String(SingleInstance::kShowCommand));
    ProgramStart::print(
        stderr, QStringLiteral("TarvoCollect is already running for ") + m_layout.rootFolder +
                    (!answer.received ? QStringLiteral("; it did not answer.\n")
                                      : QStringLiteral("; asked it to show its window.\n")));
    return false;
}

void CollectorProgram::composeCollector(OperatorMessages& messages) {
    CollectorEnvironment environment;
    environment.layout = m_layout;
    environment.executablePath = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    environment.firstArgument = m_commandLine.firstArgument;
    environment.messages = &messages;
    environment.createAutomation = createAutomation;
    // The application errors of start-up also go to standard error, so that an engineer sees why
    // the collector is not listening.
    environment.startupErrorEcho = [](const QString& line) {
        ProgramStart::print(stderr, line + u'\n');
    };
    m_collector = std::make_unique<Collector>(environment);
    m_journal = std::make_unique<JournalMirror>(stderr);
    if (JournalMirror::wanted(m_commandLine.logToStderr)) {
        m_collector->log().setMirror([journal = m_journal.get()](const QString& message,
                                                                 const QString& line,
                                                                 LogSeverity severity) {
            journal->write(message, line, severity);
        });
    }
    QObject::connect(m_instance.get(), &SingleInstance::showRequested, m_collector.get(),
                     &Collector::showWindowRequested);
}

void CollectorProgram::composeCommandsAndMonitor() {
    m_commands = std::make_unique<OperatorCommands>(*m_collector);
    m_instance->setCommandHandler([commands = m_commands.get()](const QString& request) {
        const OperatorAnswer answer = commands->Execute(request);
        return SingleInstance::Answer{answer.text, answer.refused, true, answer.notStoring};
    });
    m_monitor = std::make_unique<ServiceMonitor>(
        *m_collector, [commands = m_commands.get()] { return commands->StatusJson(); });
    m_monitor->start();
    QCoreApplication* app = QCoreApplication::instance();
    QObject::connect(app, &QCoreApplication::aboutToQuit, m_monitor.get(), &ServiceMonitor::stop);
    QObject::connect(app, &QCoreApplication::aboutToQuit, m_collector.get(), &Collector::close);
}

std::optional<int> CollectorProgram::start(OperatorMessages& messages,
                                           const FailureHandlerSetter& failureHandler) {
    if (!claimRoot())
        return 0;
    const RegistryHives hives(m_layout.currentUserHiveFile, m_layout.localMachineHiveFile);
    m_translator = LanguageSelection::install(
        QDir::toNativeSeparators(QCoreApplication::applicationFilePath()),
        LanguageSelection::readLanguageId(hives));
    composeCollector(messages);
    failureHandler([collector = m_collector.get()](const QString& message) {
        collector->handleApplicationError(message);
    });
    if (m_collector->start() == Collector::StartOutcome::Terminate)
        return m_collector->exitCode();
    composeCommandsAndMonitor();
    return std::nullopt;
}
