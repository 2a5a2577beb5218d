#include "PatientPicker.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "Collector.h"

PatientPicker::PatientPicker(QWidget* parent)
    : QDialog(parent), m_group(new QGroupBox(this)), m_list(new QListWidget(m_group)),
      m_ok(new QPushButton(tr("OK"), this)), m_cancel(new QPushButton(tr("Cancel"), this)) {
    setObjectName(QStringLiteral("FormPatients"));
    setWindowTitle(tr("Patients"));
    resize(420, 420);
    m_group->setObjectName(QStringLiteral("GroupBox1"));
    m_list->setObjectName(QStringLiteral("lbPatients"));
    m_ok->setObjectName(QStringLiteral("btnOK"));
    m_cancel->setObjectName(QStringLiteral("btnCancel"));
    m_list->setSortingEnabled(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    setCaption(tr(kDefaultCaption));

    auto* groupLayout = new QVBoxLayout(m_group);
    groupLayout->addWidget(m_list);
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
}

void PatientPicker::clear() {
    m_list->clear();
}

void PatientPicker::add(const QString& patient) {
    m_list->addItem(patient);
}

void PatientPicker::setCaption(const QString& caption) {
    m_group->setTitle(caption);
}

QString PatientPicker::caption() const {
    return m_group->title();
}

QStringList PatientPicker::entries() const {
    QStringList names;
    for (int row = 0; row < m_list->count(); ++row)
        names << m_list->item(row)->text();
    return names;
}

QString PatientPicker::selected() const {
    const QList<QListWidgetItem*> items = m_list->selectedItems();
    return items.isEmpty() ? QString() : items.first()->text();
}

std::optional<QString> PatientPicker::pick(const PatientFolderListing& listing) {
    clear();
    setCaption(listing.caption);
    for (const QString& patient : listing.patients)
        add(patient);
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    const QString patient = selected();
    if (patient.isEmpty())
        return std::nullopt;
    return patient;
}

std::optional<QString> PatientPicker::GetPatientIDFromOrvantaDatabase(const Collector& collector) {
    return pick(collector.patientsWithArchive());
}

std::optional<QString> PatientPicker::GetPatientIDFromDevice(const Collector& collector) {
    return pick(collector.patientsOnExternalMedia());
}
