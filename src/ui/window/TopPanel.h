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

// The top panel of the main window (Panel1, 233 pixels high): the title, the link animation and
// status, the latest value, the collection buttons and the folder-monitoring texts on the left,
// and the "Connections" group on the right. It only holds the controls; the window fills them.
class TopPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int kHeight = 233;
    // The left part keeps this width; the "Connections" group gets the rest of the window.
    static constexpr int kLeftWidth = 700;

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
    QLabel* lblCollision;
    // "Not storing: ..." on red while the data root can be neither created nor written.
    QLabel* lblNotStoring;
    QLabel* lblMonitoringNetworkStore;
    QLabel* lblUpdatingFromPatientID;
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

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* m_left;
};
