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

signals:
    void terminationRequested();

private:
    void onWakeUp();
    class QSocketNotifier* m_notifier = nullptr;
};
