#pragma once

#include <optional>

#include <QDialog>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "PatientFolderListing.h"

class Collector;

// The "Patients" dialog: the operator picks one patient folder from a sorted list, with a
// caption that says where the folders were found. Each entry reads "ID, first name last name"
// for a patient the collector knows; an empty list says so in words; OK waits for a choice.
class PatientPicker : public QDialog {
    Q_OBJECT

public:
    static constexpr auto kDefaultCaption = "Patients with XML data possible to recreate";
    static constexpr auto kNoneInDataRoot =
        "No patient folder of the data root holds XML data to recreate from.";
    static constexpr auto kNoneOnMedia =
        "No patient folder with XML files was found. Is the external media (SD card) inserted, "
        "and is the media drive set?";

    explicit PatientPicker(QWidget* parent = nullptr);

    void clear();
    // An entry for a patient folder; name ("first name last name") is shown after the ID.
    void add(const QString& patient, const QString& name = {});
    void setCaption(const QString& caption);
    QString caption() const;
    // What the dialog says while its list is empty.
    void setEmptyText(const QString& text);
    QString emptyText() const;
    QStringList entries() const;
    // The patient folder of the selected entry; empty when none is selected.
    QString selected() const;

    // Shows the listing modally, names taken from names (folder name -> "first last"); the
    // chosen patient on OK, nothing on Cancel.
    std::optional<QString> pick(const PatientFolderListing& listing,
                                const QHash<QString, QString>& names = {});

    // "Recreate data" for the header row: a patient folder of the data root with an archive.
    std::optional<QString> GetPatientIDFromOrvantaDatabase(Collector& collector);
    // "Get data from external media" for the header row: a patient folder on the medium.
    std::optional<QString> GetPatientIDFromDevice(Collector& collector);

    // The names of the collector's patients by patient ID and by patient folder name.
    static QHash<QString, QString> patientNames(Collector& collector);

    QListWidget* patientList() const { return m_list; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showSelection();

    QGroupBox* m_group;
    QListWidget* m_list;
    QLabel* m_empty;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};
