#pragma once

#include <optional>

#include <QDialog>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>

#include "PatientFolderListing.h"

class Collector;

// The "Patients" dialog: the operator picks one patient folder from a sorted list, with a
// caption that says where the folders were found.
class PatientPicker : public QDialog {
    Q_OBJECT

public:
    static constexpr auto kDefaultCaption = "Patients with XML data possible to recreate";

    explicit PatientPicker(QWidget* parent = nullptr);

    void clear();
    void add(const QString& patient);
    void setCaption(const QString& caption);
    QString caption() const;
    QStringList entries() const;
    // The selected entry; empty when none is selected.
    QString selected() const;

    // Shows the listing modally; the chosen patient on OK, nothing on Cancel or when OK is
    // pressed without a selection.
    std::optional<QString> pick(const PatientFolderListing& listing);

    // "Recreate data" for the header row: a patient folder of the data root with an archive.
    std::optional<QString> GetPatientIDFromOrvantaDatabase(const Collector& collector);
    // "Get data from external media" for the header row: a patient folder on the medium.
    std::optional<QString> GetPatientIDFromDevice(const Collector& collector);

    QListWidget* patientList() const { return m_list; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }

private:
    QGroupBox* m_group;
    QListWidget* m_list;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};
