#include "PatientPicker.h"

#include <QDir>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "Collector.h"
#include "PatientIdentity.h"
#include "PatientList.h"
#include "WindowPlacement.h"

namespace {
constexpr int kFolderRole = Qt::UserRole;
}

PatientPicker::PatientPicker(QWidget* parent)
    : QDialog(parent), m_group(new QGroupBox(this)), m_list(new QListWidget(m_group)),
      m_empty(new QLabel(m_group)), m_ok(new QPushButton(tr("OK"), this)),
      m_cancel(new QPushButton(tr("Cancel"), this)) {
    setObjectName(QStringLiteral("FormPatients"));
    setWindowTitle(tr("Patients"));
    resize(420, 420);
    m_group->setObjectName(QStringLiteral("GroupBox1"));
    m_list->setObjectName(QStringLiteral("lbPatients"));
    m_empty->setObjectName(QStringLiteral("lblNoPatients"));
    m_ok->setObjectName(QStringLiteral("btnOK"));
    m_cancel->setObjectName(QStringLiteral("btnCancel"));
    m_list->setSortingEnabled(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_empty->setWordWrap(true);
    m_empty->setAlignment(Qt::AlignCenter);
    setCaption(tr(kDefaultCaption));
    setEmptyText(tr(kNoneInDataRoot));

    auto* groupLayout = new QVBoxLayout(m_group);
    groupLayout->addWidget(m_list);
    groupLayout->addWidget(m_empty);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_group);
    layout->addLayout(buttons);

    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &PatientPicker::showSelection);
    showSelection();
}

void PatientPicker::clear() {
    m_list->clear();
    showSelection();
}

void PatientPicker::add(const QString& patient, const QString& name) {
    const QString shownName = name.trimmed();
    auto* item = new QListWidgetItem(
        shownName.isEmpty() ? patient : patient + QStringLiteral(", ") + shownName);
    item->setData(kFolderRole, patient);
    m_list->addItem(item);
    showSelection();
}

void PatientPicker::setCaption(const QString& caption) {
    m_group->setTitle(caption);
}

QString PatientPicker::caption() const {
    return m_group->title();
}

void PatientPicker::setEmptyText(const QString& text) {
    m_empty->setText(text);
}

QString PatientPicker::emptyText() const {
    return m_empty->text();
}

QStringList PatientPicker::entries() const {
    QStringList names;
    for (int row = 0; row < m_list->count(); ++row)
        names << m_list->item(row)->text();
    return names;
}

QString PatientPicker::selected() const {
    const QList<QListWidgetItem*> items = m_list->selectedItems();
    return items.isEmpty() ? QString() : items.first()->data(kFolderRole).toString();
}

void PatientPicker::showSelection() {
    const bool empty = m_list->count() == 0;
    m_list->setVisible(!empty);
    m_empty->setVisible(empty);
    // OK waits for a patient: pressed without one it would choose nobody.
    m_ok->setEnabled(!m_list->selectedItems().isEmpty());
}

void PatientPicker::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    WindowPlacement::centreOn(this, parentWidget());
}

std::optional<QString> PatientPicker::pick(const PatientFolderListing& listing,
                                           const QHash<QString, QString>& names) {
    clear();
    setCaption(listing.caption);
    for (const QString& patient : listing.patients)
        add(patient, names.value(patient));
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    const QString patient = selected();
    if (patient.isEmpty())
        return std::nullopt;
    return patient;
}

QHash<QString, QString> PatientPicker::patientNames(Collector& collector) {
    QHash<QString, QString> names;
    const PatientListModel& patients = collector.patients();
    const CollectorState& state = collector.state();
    for (int entry = 0; entry < patients.Count(); ++entry) {
        const TPatient& patient = patients.At(entry).Patient;
        const QString name = (patient.FirstName + u' ' + patient.LastName).trimmed();
        if (name.isEmpty())
            continue;
        names.insert(patient.PatientID, name);
        try {
            const QString folder = PatientIdentity::PatientFolderFor(
                patient.PatientID, state.dataRoot, state.idReduction);
            names.insert(QDir(folder).dirName(), name);
        } catch (const PatientIdentity::EUnsafePatientId&) {
            // An ID that names no folder has no folder to pick.
        }
    }
    return names;
}

std::optional<QString> PatientPicker::GetPatientIDFromOrvantaDatabase(Collector& collector) {
    setEmptyText(tr(kNoneInDataRoot));
    return pick(collector.patientsWithArchive(), patientNames(collector));
}

std::optional<QString> PatientPicker::GetPatientIDFromDevice(Collector& collector) {
    setEmptyText(tr(kNoneOnMedia));
    return pick(collector.patientsOnExternalMedia(), patientNames(collector));
}
