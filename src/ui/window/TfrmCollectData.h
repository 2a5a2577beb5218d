#pragma once

#include <memory>

#include <QDateTime>
#include <QHash>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

#include "CollectorState.h"
#include "LatestValueGrid.h"
#include "TTaskbarIconControler.h"

class Collector;
class QLabel;
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
    static constexpr int kNotePixels = 14;
    static constexpr auto kDesignedCaption = "Tarvo Data Monitor";
    static constexpr auto kCloseQuestion = "Do you really want to close";
    static constexpr auto kMinimisedInstead =
        "The desktop has no notification area: the window is minimised instead of hidden";
    // Said in the window, in the log and, while the window is hidden, by the tray icon when the
    // last analyzer goes while collecting; followed by the time ("12:06").
    static constexpr auto kLinkLost = "No analyzer connected since ";
    // How often the ages of the shown values are brought up to date.
    static constexpr int kAgeRefreshMilliseconds = 30 * 1000;

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

    // The window as designed, made smaller where the screen is (a small screen, or a large
    // scale factor), and centred on it: it never reaches beyond the screen.
    void fitToScreen();
    void fitInto(const QRect& available);

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
    void createMoreValuesNote();
    // The window's controls, the collector's texts, the desktop session, and (when the
    // collector runs) collection control, values and reporting.
    void connectCollector();
    void connectControls();
    void connectCollectorTexts();
    void connectSession();
    void connectCollection();
    void applyControls();
    void keepLayout();
    void showLatestValue();
    // Shows a patient the operator chose in the list: the latest values seen of that patient
    // while the program runs, and its trend.
    void showChosenPatient(int entry);
    void fillChosenGrid();
    void showValueLabels(const QString& patient, const QString& value, const QDateTime& time);
    void showConnections();
    void showLinkLabels();
    void showLinkLost(CollectionState state);
    void refreshAges();
    void fitPanel();
    // The panel for a window size: the group's width and the panel's height.
    void fitPanel(QSize window);
    void splitLowerPart();
    void toggleValuesOnly();
    void openSettings();
    void deletePatient(int entry);
    void recreatePatient(int entry);
    void importPatient(int entry);
    void setMediaDrive();
    QString patientFor(int entry, bool fromMedia);
    bool askToClose();
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
    // The latest values seen of each patient, for a patient chosen in the list.
    struct SeenPatient {
        QString label;
        QString value;
        QDateTime time;
        QList<QPair<QString, QDateTime>> values; // one per parameter and place, as they came
    };
    QHash<QString, SeenPatient> m_seen;
    QString m_chosenId; // empty: the patient of the latest value is shown
    LatestValueGrid m_chosenGrid;
    QDateTime m_shownTime;
    QTimer m_ageTimer;
    CollectionState m_shownState = CollectionState::Offline;
    QDateTime m_linkLostAt;
    bool m_noTraySaid = false;
    bool m_closeConfirmed = false;
    bool m_ending = false;
    bool m_formClosed = false;
};
