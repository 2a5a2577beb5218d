#pragma once

#include <QAction>
#include <QListWidget>
#include <QMenu>

#include "PatientCheckList.h"

class PatientListModel;

// The patient check list: row 0 is the header "Patients", every further row a patient of the
// collector's patient list with its check mark (collected; greyed when not) and marked
// "(not sending)" in italics while the patient is not sending. A pop-up menu offers the patient
// commands; which of them may be used depends on the row, as the check list's rules say.
class PatientListView : public QListWidget {
    Q_OBJECT

public:
    static constexpr auto kNotSending = "  (not sending)";

    PatientListView(PatientListModel& patients, PatientCheckList* checkList,
                    QWidget* parent = nullptr);

    // The patient list entry of a row: -1 for the header, -2 when no row is given.
    static int entryOf(int row) { return row < 0 ? -2 : row - 1; }

    QMenu* menu() const { return m_menu; }
    QAction* deleteAction() const { return m_delete; }
    QAction* recreateAction() const { return m_recreate; }
    QAction* importAction() const { return m_import; }
    QAction* mediaDriveAction() const { return m_mediaDrive; }

    // Sets the menu entries for a row (the header is row 0).
    void prepareMenu(int row);
    void setMediaDriveCaption(const QString& caption);

    // Shows the patient list again.
    void showPatients();
    // Highlights a patient's row without telling it as the operator's choice.
    void selectEntry(int entry);

signals:
    // The operator chose a menu entry for the selected row (-1: the header).
    void deleteRequested(int entry);
    void recreateRequested(int entry);
    void importRequested(int entry);
    void mediaDriveRequested();
    // The operator selected a patient's row: that patient is to be shown.
    void patientChosen(int entry);

private:
    void itemToggled(QListWidgetItem* item);
    void showMenuAt(const QPoint& position);
    int selectedEntry() const;

    PatientListModel& m_patients;
    PatientCheckList* m_checkList; // none when start-up ended before it existed
    QMenu* m_menu;
    QAction* m_delete;
    QAction* m_recreate;
    QAction* m_import;
    QAction* m_mediaDrive;
    bool m_showing = false;
};
