#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include "ClickableLabel.h"

class ConnectionAnimation;

// The top panel of the main window (Panel1, 233 pixels high as designed): the title, the link
// animation and status, the collection buttons, the latest value with its time and the
// folder-monitoring texts on the left, and the "Connections" group on the right. Layouts place
// them: the latest value takes the room between the buttons and the group and wraps its name
// before it would cut the number. It only holds the controls; the window fills them.
class TopPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int kHeight = 233;
    // The left part keeps this width; the "Connections" group gets the rest of the window.
    static constexpr int kLeftWidth = 700;
    static constexpr int kValuePixels = 16;

    explicit TopPanel(QWidget* parent = nullptr);

    // The width of the "Connections" group for a window width (window width - 700).
    static int connectionsWidthFor(int windowWidth) {
        return std::max(windowWidth - kLeftWidth, 0);
    }
    void setConnectionsWidth(int width);

    QLabel* LabelMonitor;
    ConnectionAnimation* Animate;
    QLabel* LabelConnected;
    ClickableLabel* lblPatient;
    ClickableLabel* LabelParameter;
    QLabel* lblTime;
    // Shown while collecting without an analyzer: since when the link is lost.
    QLabel* lblLinkLost;
    QLabel* lblCollision;
    // "Not storing: ..." on red while the data root can be neither created nor written.
    QLabel* lblNotStoring;
    QLabel* lblMonitoringNetworkStore;
    QLabel* lblUpdatingFromPatientID;
    // The reporting of results to the hospital's integration engine, while it is configured.
    QLabel* lblReport;
    QPushButton* btnStart;
    QPushButton* btnStop;
    QPushButton* btnHide;
    QPushButton* btnServerSelect;
    QPushButton* btnParameters;
    QPushButton* btnInterval;
    QGroupBox* FilterFunction;
    QPushButton* BitBtnClose;
    QCheckBox* cbAckError;
    QGroupBox* gbConnectedDataClients;
    QListWidget* ListBoxConnectedClients;
    QLabel* lblNoNetwork;

    // Shows the latest value with its measuring time; greyed when it is old.
    void showLatestValue(const QString& patient, const QString& value, const QString& time,
                         bool old);
    // The height the panel needs at a width.
    int neededHeight(int width) const;
};
