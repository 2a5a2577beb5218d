#pragma once

#include <vector>

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>

// A patient of the patient list, as the registry keeps it between runs.
struct TPatient {
    int Number = -1;   // registry number when read from the registry, -1 when created here
    QString TimeStamp; // "yyyyMMddHHmmss": created, or last seen active
    QString FirstName;
    QString LastName;
    QString PatientID; // cleaned and reduced; the key of the entry
    bool Collect = false;
};

// One entry of the patient list: the patient, its caption, its check mark (its results are
// stored) and whether it is enabled (data arrived for it in this run).
struct PatientEntry {
    TPatient Patient;
    QString Caption;
    bool Checked = false;
    bool Enabled = false;
    // When data last arrived for the patient in this run (invalid before any); the registry's
    // time stamp follows it at the next sweep.
    QDateTime LastResult;
};

// The patient list as a model without a window: the window shows it under the header
// "Patients" and forwards check marks and deletions to it.
class PatientListModel : public QObject {
    Q_OBJECT

public:
    static constexpr auto kHeader = "Patients";

    using QObject::QObject;

    static QString CaptionFor(const QString& id, const QString& firstName, const QString& lastName);

    int Count() const { return int(m_entries.size()); }
    PatientEntry& At(int index) { return m_entries.at(std::size_t(index)); }
    const PatientEntry& At(int index) const { return m_entries.at(std::size_t(index)); }
    // The position of the first entry of the patient ID, or -1.
    int IndexOf(const QString& patientId) const;

    int Add(const TPatient& patient, bool checked, bool enabled);
    void RemoveAt(int index);
    void SetChecked(int index, bool checked);
    void SetEnabled(int index, bool enabled);
    void Clear();

signals:
    void changed();

private:
    void reindex();

    std::vector<PatientEntry> m_entries;
    // The first position of every patient ID, so that finding a patient does not grow with the
    // list. Entries change their ID never; only adding and removing move positions.
    QHash<QString, int> m_firstIndex;
};
