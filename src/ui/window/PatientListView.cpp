#include "PatientListView.h"

#include "PatientList.h"

PatientListView::PatientListView(PatientListModel& patients, PatientCheckList* checkList,
                                 QWidget* parent)
    : QListWidget(parent), m_patients(patients), m_checkList(checkList), m_menu(new QMenu(this)) {
    setObjectName(QStringLiteral("CBListPatients"));
    m_delete = m_menu->addAction(tr("Delete"));
    m_recreate = m_menu->addAction(tr("Recreate data"));
    m_import = m_menu->addAction(tr("Get data from external media (e.g. SD card)"));
    m_mediaDrive = m_menu->addAction(tr("Set External Media Drive"));
    connect(m_delete, &QAction::triggered, this, [this] { emit deleteRequested(selectedEntry()); });
    connect(m_recreate, &QAction::triggered, this,
            [this] { emit recreateRequested(selectedEntry()); });
    connect(m_import, &QAction::triggered, this, [this] { emit importRequested(selectedEntry()); });
    connect(m_mediaDrive, &QAction::triggered, this, &PatientListView::mediaDriveRequested);

    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &PatientListView::showMenuAt);
    connect(this, &QListWidget::currentRowChanged, this, &PatientListView::prepareMenu);
    connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_showing && entryOf(row) >= 0)
            emit patientChosen(entryOf(row));
    });
    connect(this, &QListWidget::itemChanged, this, &PatientListView::itemToggled);
    connect(&m_patients, &PatientListModel::changed, this, &PatientListView::showPatients);
    showPatients();
}

void PatientListView::showPatients() {
    m_showing = true;
    const int current = currentRow();
    if (count() == 0) {
        auto* header = new QListWidgetItem(tr(PatientListModel::kHeader), this);
        QFont bold = header->font();
        bold.setBold(true);
        header->setFont(bold);
        header->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        header->setBackground(palette().button());
    }
    while (count() > m_patients.Count() + 1)
        delete takeItem(count() - 1);
    for (int entry = 0; entry < m_patients.Count(); ++entry) {
        const PatientEntry& patient = m_patients.At(entry);
        QListWidgetItem* row = item(entry + 1);
        if (row == nullptr)
            row = new QListWidgetItem(this);
        // Grey is for a patient that is not collected; one that is not sending says so.
        row->setText(patient.Enabled ? patient.Caption : patient.Caption + tr(kNotSending));
        // A patient that is not sending keeps its mark; only the rows of sending patients can be
        // ticked or unticked.
        row->setFlags(patient.Enabled
                          ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable
                          : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        row->setCheckState(patient.Checked ? Qt::Checked : Qt::Unchecked);
        row->setForeground(patient.Checked ? palette().text() : palette().placeholderText());
        QFont font = row->font();
        font.setItalic(!patient.Enabled);
        row->setFont(font);
    }
    if (current >= 0 && current < count())
        setCurrentRow(current);
    m_showing = false;
}

void PatientListView::selectEntry(int entry) {
    m_showing = true;
    if (entry + 1 < count())
        setCurrentRow(entry + 1);
    m_showing = false;
}

void PatientListView::itemToggled(QListWidgetItem* changed) {
    if (m_showing)
        return;
    const int entry = entryOf(row(changed));
    if (entry < 0 || entry >= m_patients.Count())
        return;
    const bool checked = changed->checkState() == Qt::Checked;
    if (m_patients.At(entry).Checked == checked)
        return;
    m_patients.SetChecked(entry, checked);
    if (m_checkList != nullptr)
        m_checkList->CheckChanged();
}

void PatientListView::prepareMenu(int row) {
    if (row < 0 || m_checkList == nullptr) {
        m_delete->setEnabled(false);
        m_recreate->setEnabled(false);
        m_import->setEnabled(false);
        return;
    }
    const PatientMenuState state = m_checkList->MenuFor(entryOf(row));
    m_delete->setEnabled(state.deleteEnabled);
    m_recreate->setEnabled(state.recreateEnabled);
    m_import->setEnabled(state.importEnabled);
}

void PatientListView::setMediaDriveCaption(const QString& caption) {
    if (!caption.isEmpty())
        m_mediaDrive->setText(caption);
}

void PatientListView::showMenuAt(const QPoint& position) {
    if (QListWidgetItem* under = itemAt(position))
        setCurrentItem(under);
    prepareMenu(currentRow());
    m_menu->popup(viewport()->mapToGlobal(position));
}

int PatientListView::selectedEntry() const {
    return entryOf(currentRow());
}
