#pragma once

#include <QWidget>

#include "CollectionControl.h"

class ClickableLabel;
class ConnectionAnimation;
class QBoxLayout;
class QCheckBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QVBoxLayout;

// The top panel of the main window (Panel1, 233 pixels high as designed): the title, the link
// animation and status, the collection buttons, the latest value with its time and the
// folder-monitoring texts on the left, and the "Connections" group on the right. Layouts place
// them: the latest value takes the room between the buttons and the group and wraps its name
// before it would cut the number. The window tells it what to show; the panel decides how, and
// tells the window which command the operator gave.
class TopPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int kHeight = 233;
    // The left part keeps this width; the "Connections" group gets the rest of the window.
    static constexpr int kLeftWidth = 700;
    static constexpr int kValuePixels = 16;
    static constexpr int kButtonWidth = 120;

    explicit TopPanel(QWidget* parent = nullptr);

    // The width of the "Connections" group for a window width (window width - 700).
    static int connectionsWidthFor(int windowWidth) {
        return std::max(windowWidth - kLeftWidth, 0);
    }
    void setConnectionsWidth(int width);
    // The height the panel needs at a width.
    int neededHeight(int width) const;
    // A window smaller than designed gives the room of the title (the caption names the
    // program too) to the values and patients below, shows a smaller animation with the
    // buttons in one row beside it, and the latest value under them.
    void setCompact(bool compact);
    bool isCompact() const { return compactForm; }

    // The buttons of a collection state.
    void showCommands(const CollectionControls& controls);
    // No command can be given (start-up ended early).
    void disableCommands();
    // The link animation of a collection state; stopAnimation() holds it where it is.
    void showCollectionState(CollectionState state);
    void stopAnimation();
    // The link status text ("Listening ...") and the red "No Network".
    void showLinkState(const QString& status, bool noNetwork);
    // Since when no analyzer is connected while collecting; empty: the link is there.
    void showLinkLost(const QString& text);
    // The latest value with its measuring time; greyed when it is old.
    void showLatestValue(const QString& patient, const QString& value, const QString& time,
                         bool old);
    // The age of the value shown, unless the operator cleared it with a click.
    void showValueAge(const QString& time, bool old);
    bool showsValue() const;
    // "Collisions = " while a message waits; empty hides it.
    void showCollisions(const QString& text);
    // "Not storing: ..." while the data root cannot be used; empty hides it.
    void showNotStoring(const QString& text);
    // The folder monitoring texts; hidden while they have nothing after their caption.
    void showMonitoring(const QString& text);
    void showUpdateFrom(const QString& text);
    // The reporting of results to the hospital (empty: not configured, the line is hidden).
    void showReport(const QString& text);
    // The analyzer and data-client connections; the group shows only when visible.
    void showConnections(const QStringList& lines, bool visible);

signals:
    void startClicked();
    void stopClicked();
    void hideClicked();
    void settingsClicked();
    void closeClicked();
    // The layout's needs changed (a text appeared or went): the window sizes the panel anew.
    void neededHeightChanged();

private:
    void createLinkControls();
    void createCommandButtons();
    void createValueLabels();
    void createStatusTexts();
    void createHiddenControls();
    void createConnectionsGroup();
    void arrangeControls();
    void placeControls(bool compact);
    void connectControls();
    void showOptionalText(QLabel* label, const QString& text);
    void greyValue(bool old);

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

    QBoxLayout* buttonBox = nullptr;
    QVBoxLayout* valueBox = nullptr;
    QGridLayout* panelGrid = nullptr;
    bool compactForm = false;
};
