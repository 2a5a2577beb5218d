#pragma once

#include <QLabel>
#include <QTimer>
#include <QWidget>

// The small "New Patient" window: announces a newly created patient file and hides itself again
// after five seconds. A window of its own, centred on its parent (the main window) when given.
class TfrmNewPatient : public QWidget {
    Q_OBJECT

public:
    static constexpr int kHideDelay = 5000; // milliseconds
    static constexpr int kWidth = 560;
    static constexpr int kHeight = 110;

    explicit TfrmNewPatient(QWidget* parent = nullptr);

    QString statusText() const { return m_status->text(); }
    void setHideDelay(int milliseconds) { m_hideTimer.setInterval(milliseconds); }
    int hideDelay() const { return m_hideTimer.interval(); }
    bool hidePending() const { return m_hideTimer.isActive(); }

public slots:
    // Shows the collector's status text ("Created: " + patient and folder) and starts the
    // countdown to hiding; a second announcement starts it again.
    void showCreated(const QString& statusText);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* m_status;
    QTimer m_hideTimer;
};
