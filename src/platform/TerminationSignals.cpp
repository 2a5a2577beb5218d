#include "TerminationSignals.h"

#include <atomic>

#include <QSocketNotifier>

#ifdef Q_OS_WIN
#include <QCoreApplication>
#include <QMetaObject>
#include <windows.h>
#else
#include <csignal>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>
#endif

namespace {
TerminationSignals* g_instance = nullptr;
// Monotonic milliseconds of the first request (+1, so that 0 means none).
std::atomic<qint64> g_requestedAt{0};

qint64 monotonicMs() {
#ifdef Q_OS_WIN
    return qint64(GetTickCount64());
#else
    timespec now = {};
    ::clock_gettime(CLOCK_MONOTONIC, &now); // safe in a signal handler
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#endif
}

void noteRequest() {
    qint64 none = 0;
    g_requestedAt.compare_exchange_strong(none, monotonicMs() + 1);
}
#ifndef Q_OS_WIN
int g_wakeUp[2] = {-1, -1};

void onSignal(int) {
    noteRequest();
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_wakeUp[0], &byte, 1);
}
#else
BOOL WINAPI onConsoleEvent(DWORD) {
    noteRequest();
    if (g_instance)
        QMetaObject::invokeMethod(g_instance, &TerminationSignals::terminationRequested,
                                  Qt::QueuedConnection);
    return TRUE;
}
#endif
} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    g_instance = this;
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_wakeUp) != 0)
        return;
    m_notifier = new QSocketNotifier(g_wakeUp[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::onWakeUp);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signalNumber, &action, nullptr);
#endif
}

TerminationSignals::~TerminationSignals() {
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
#else
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        ::signal(signalNumber, SIG_DFL);
    delete m_notifier;
    m_notifier = nullptr;
    for (int& descriptor : g_wakeUp) {
        if (descriptor >= 0)
            ::close(descriptor);
        descriptor = -1;
    }
#endif
    g_instance = nullptr;
}

qint64 TerminationSignals::msSinceRequest() {
    const qint64 at = g_requestedAt.load();
    return at == 0 ? -1 : monotonicMs() + 1 - at;
}

void TerminationSignals::onWakeUp() {
#ifndef Q_OS_WIN
    char byte = 0;
    [[maybe_unused]] const auto read = ::read(g_wakeUp[1], &byte, 1);
#endif
    emit terminationRequested();
}
