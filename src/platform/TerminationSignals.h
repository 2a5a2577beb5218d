#pragma once

#include <QObject>

// Turns the operating system's requests to end the program (Ctrl-C, SIGTERM, SIGHUP; the
// console close events on Windows) into a signal on the main thread, so that the collector
// shuts down through its normal closing steps.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // How long ago the first request to end arrived, in milliseconds; -1 before any. Set where
    // the request arrives, so that work that holds the main thread (a long rebuild) can see it
    // and stop in time.
    static qint64 msSinceRequest();

signals:
    void terminationRequested();

private:
    void onWakeUp();
    class QSocketNotifier* m_notifier = nullptr;
};
