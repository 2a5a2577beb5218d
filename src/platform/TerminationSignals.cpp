#include "TerminationSignals.h"

#include <QSocketNotifier>

#ifdef Q_OS_WIN
#include <QCoreApplication>
#include <QMetaObject>
#include <windows.h>
#else
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {
TerminationSignals* g_instance = nullptr;
#ifndef Q_OS_WIN
int g_wakeUp[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_wakeUp[0], &byte, 1);
}
#else
BOOL WINAPI onConsoleEvent(DWORD) {
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

void TerminationSignals::onWakeUp() {
#ifndef Q_OS_WIN
    char byte = 0;
    [[maybe_unused]] const auto read = ::read(g_wakeUp[1], &byte, 1);
#endif
    emit terminationRequested();
}
