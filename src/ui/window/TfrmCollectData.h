#pragma once

#include <memory>

#include <QSplitter>
#include <QTabWidget>
#include <QWidget>

#include "TTaskbarIconControler.h"

class Collector;
class OperatorQuestions;
class PatientListView;
class PatientPicker;
class PatientTrendView;
class TfrmNewPatient;
class TopPanel;
class ValueGridView;

// The main window: shows the collector's link state, patients and latest values, and forwards
// the operator's commands to it. It holds no collection logic of its own.
class TfrmCollectData : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 982;
    static constexpr int kHeight = 613;
    static constexpr int kPatientListHeight = 192;
    static constexpr int kSplitterWidth = 2;
    static constexpr int kFontPixels = 19;
    static constexpr int kPatientListFontPixels = 24;
    static constexpr int kGridFontPixels = 16;
    static constexpr auto kDesignedCaption = "Tarvo Data Monitor";
    static constexpr auto kCloseQuestion = "Do you really want to close";
    static constexpr auto kMinimisedInstead =
        "The desktop has no notification area: the window is minimised instead of hidden";

    // The collector must have run its start-up. tray: the notification-area icon (the desktop's
    // own when not given).
    TfrmCollectData(Collector& collector, OperatorQuestions& questions,
                    std::unique_ptr<TTaskbarIconControler> tray = {}, QWidget* parent = nullptr);
    ~TfrmCollectData() override;

    TopPanel* panel() const { return m_panel; }
    PatientListView* patientList() const { return m_patients; }
    ValueGridView* valueGrid() const { return m_grid; }
    QSplitter* splitter() const { return m_splitter; }
    TTaskbarIconControler& tray() const { return *m_tray; }
    TfrmNewPatient& newPatientWindow() const { return *m_newPatient; }
    PatientTrendView* trendView() const { return m_trend; }

public slots:
    // Hide: stops the animation and hides the window to the notification area (minimises it
    // where the desktop has none).
    void hideToTray();
    // Shows the window again (tray click, another copy of the program, a state that needs it).
    void showWindow();
    // The desktop session ends, or the program is asked to end: the window closes without a
    // question, also while collecting.
    void endSession();
    // The hidden close button: asks, and closes on Yes without asking again.
    void closeWithConfirmation();

signals:
    // The window closed and the collector ran its closing steps: the program ends.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void connectCollector();
    void applyControls();
    void keepLayout();
    void showLatestValue();
    void showConnections();
    void showLinkLabels();
    void toggleValuesOnly();
    void openSettings();
    void deletePatient(int entry);
    void recreatePatient(int entry);
    void importPatient(int entry);
    void setMediaDrive();
    QString patientFor(int entry, bool fromMedia);
    void formClose();
    void log(const QString& line);

    Collector& m_collector;
    OperatorQuestions& m_questions;
    std::unique_ptr<TTaskbarIconControler> m_tray;
    std::unique_ptr<TfrmNewPatient> m_newPatient;
    std::unique_ptr<PatientPicker> m_picker;
    TopPanel* m_panel = nullptr;
    QSplitter* m_splitter = nullptr;
    PatientListView* m_patients = nullptr;
    QTabWidget* m_lower = nullptr;
    ValueGridView* m_grid = nullptr;
    PatientTrendView* m_trend = nullptr;
    bool m_closeConfirmed = false;
    bool m_ending = false;
    bool m_formClosed = false;
};
