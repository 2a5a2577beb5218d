#include "ServiceNotifier.h"

#include <QByteArray>

#ifdef TARVO_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace {

void notify(const QByteArray& state) {
#ifdef TARVO_HAVE_SYSTEMD
    sd_notify(0, state.constData());
#else
    (void)state;
#endif
}

QByteArray statusLine(const QString& status) {
    QString text = status;
    text.replace(u'\n', u' ');
    return "STATUS=" + text.toUtf8();
}

} // namespace

namespace ServiceNotifier {

bool active() {
    return !qEnvironmentVariableIsEmpty("NOTIFY_SOCKET");
}

void ready(const QString& status) {
    notify("READY=1\n" + statusLine(status));
}

void status(const QString& status) {
    notify(statusLine(status));
}

void stopping() {
    notify("STOPPING=1");
}

void alive() {
    notify("WATCHDOG=1");
}

qint64 watchdogIntervalMs() {
#ifdef TARVO_HAVE_SYSTEMD
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0)
        return qint64(usec / 1000);
#endif
    return 0;
}

} // namespace ServiceNotifier
