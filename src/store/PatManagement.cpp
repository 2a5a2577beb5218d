#include "PatManagement.h"

#include <algorithm>

#include <QHash>
#include <QSet>

#include "Clock.h"
#include "EventLog.h"
#include "PatientList.h"
#include "SettingKeys.h"
#include "SettingsStore.h"

namespace {

constexpr auto kPrefix = "Patient";
constexpr qsizetype kLongestLastField = 255;

QString reduced(const QString& id, IdReduction reduction) {
    if (id.size() <= 10 || reduction == IdReduction::None)
        return id;
    return reduction == IdReduction::FirstTen ? id.left(10) : id.right(10);
}

// A time stamp "yyyyMMddHHmmss"; invalid unless it is 14 digits of a valid date and time.
QDateTime timeStampOf(const QString& text) {
    if (text.size() != 14)
        return {};
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return {};
    }
    const auto number = [&text](int from, int count) {
        return text.mid(from, count).toInt();
    };
    const QDate date(number(0, 4), number(4, 2), number(6, 2));
    const QTime time(number(8, 2), number(10, 2), number(12, 2));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

int numberOf(const QString& valueName) {
    return valueName.mid(int(qstrlen(kPrefix))).toInt();
}

// The later of two time stamps; the first when the second is not later.
QString laterStamp(const QString& a, const QString& b) {
    return timeStampOf(a) < timeStampOf(b) ? b : a;
}

// True when the time stamp is valid and more than a day before now.
bool expiredAt(const QString& timeStamp, const QDateTime& now) {
    const QDateTime stamp = timeStampOf(timeStamp);
    return stamp.isValid() && stamp.secsTo(now) > 24 * 60 * 60;
}

// The first list position of every patient ID.
QHash<QString, int> firstPositions(const PatientListModel& patients) {
    QHash<QString, int> listed;
    listed.reserve(patients.Count());
    // From the end, so that the first position of an ID is the one kept.
    for (int i = patients.Count() - 1; i >= 0; --i)
        listed.insert(patients.At(i).Patient.PatientID, i);
    return listed;
}

} // namespace

struct PatManagement::RegistryPatient {
    QString valueName;
    TPatient patient;
};

PatManagement::PatManagement(const SettingsStore& settings, PatientListModel& patients,
                             EventLog& log, const Clock& clock, IdReduction reduction)
    : m_settings(settings), m_patients(patients), m_log(log), m_clock(clock),
      m_reduction(reduction) {
    m_requestedSweep.setSingleShot(true);
    m_requestedSweep.callOnTimeout([this] { SweepPatientRegistry(false); });
}

PatManagement::~PatManagement() {
    FlushRequestedSweep();
}

void PatManagement::RequestSweep() {
    if (m_requestedSweep.isActive())
        return;
    const qint64 since = m_sinceWrite.isValid() ? m_sinceWrite.elapsed() : kRequestedSweepSpacingMs;
    m_requestedSweep.start(int(std::max<qint64>(0, kRequestedSweepSpacingMs - since)));
}

void PatManagement::FlushRequestedSweep() {
    if (m_requestedSweep.isActive())
        SweepPatientRegistry(false);
}

void PatManagement::FlushAtClose() {
    bool behind = SweepRequested();
    for (int i = 0; i < m_patients.Count() && !behind; ++i) {
        const PatientEntry& entry = m_patients.At(i);
        behind =
            entry.Enabled && entry.LastResult.isValid() &&
            entry.LastResult.toString(QLatin1String(kTimeStampFormat)) > entry.Patient.TimeStamp;
    }
    if (behind)
        SweepPatientRegistry(false);
}

QString PatManagement::Field(const QString& value, int index) {
    qsizetype start = 0;
    for (int k = 0; k < index; ++k) {
        const qsizetype caret = value.indexOf(u'^', start);
        if (caret < 0)
            return {};
        start = caret + 1;
    }
    const qsizetype end = value.indexOf(u'^', start);
    return end < 0 ? value.mid(start, kLongestLastField) : value.mid(start, end - start);
}

QString PatManagement::Bounded(const QString& text, qsizetype longest) {
    if (text.size() <= longest)
        return text;
    qsizetype size = longest;
    if (size > 0 && text[size - 1].isHighSurrogate())
        --size;
    return text.left(size);
}

// The registry's "Patient" values in the order of their numbers.
QStringList PatManagement::patientValueNames() const {
    QStringList names;
    for (const QString& name : m_settings.valueNames()) {
        if (name.startsWith(QLatin1String(kPrefix)))
            names << name;
    }
    std::stable_sort(names.begin(), names.end(),
                     [](const QString& a, const QString& b) { return numberOf(a) < numberOf(b); });
    return names;
}

std::vector<PatManagement::RegistryPatient> PatManagement::readRegistry() const {
    auto values = m_settings.readTexts(QLatin1String(kPrefix));
    std::stable_sort(values.begin(), values.end(), [](const auto& a, const auto& b) {
        return numberOf(a.first) < numberOf(b.first);
    });
    std::vector<RegistryPatient> patients;
    patients.reserve(values.size());
    int position = 0;
    for (const auto& [name, value] : values) {
        RegistryPatient entry;
        entry.valueName = name;
        entry.patient.FirstName = Bounded(Field(value, 0), kLongestName);
        entry.patient.LastName = Bounded(Field(value, 1), kLongestName);
        entry.patient.PatientID = Bounded(Field(value, 2), kLongestPatientId);
        entry.patient.TimeStamp = Field(value, 3);
        entry.patient.Collect = Field(value, 4) == QLatin1String("1");
        entry.patient.Number = ++position;
        patients.push_back(entry);
    }
    return patients;
}

void PatManagement::writeList(const QStringList& oldNames) {
    std::vector<std::pair<QString, QString>> values;
    values.reserve(std::size_t(m_patients.Count()));
    for (int i = 0; i < m_patients.Count(); ++i) {
        const PatientEntry& entry = m_patients.At(i);
        const TPatient& patient = entry.Patient;
        values.emplace_back(QLatin1String(kPrefix) + QString::number(i + 1),
                            Bounded(patient.FirstName, kLongestName) + u'^' +
                                Bounded(patient.LastName, kLongestName) + u'^' +
                                Bounded(patient.PatientID, kLongestPatientId) + u'^' +
                                Bounded(patient.TimeStamp, 14) + u'^' +
                                (patient.Collect ? QStringLiteral("1") : QStringLiteral("0")));
    }
    m_settings.replaceTexts(oldNames, values);
    m_lastWrite = m_clock.now();
    m_sinceWrite.start();
    ++m_writes;
}

void PatManagement::SweepPatientRegistry(bool startup) {
    // This sweep also answers every request still waiting.
    m_requestedSweep.stop();
    try {
        const QDateTime now = m_clock.now();
        std::vector<RegistryPatient> registry = readRegistry();
        renewActivePatients(registry, now.toString(QLatin1String(kTimeStampFormat)));
        mergeRegistry(registry, now, startup);
        QStringList oldNames;
        oldNames.reserve(qsizetype(registry.size()));
        for (const RegistryPatient& entry : registry)
            oldNames << entry.valueName;
        writeList(oldNames);
    } catch (...) {
        // A registry that cannot be read or written leaves the list as it is; a failed write
        // is reported by the settings store.
    }
}

// Active patients are renewed: a checked patient that data arrived for, in the list and in the
// registry alike, so that it never expires while it is being collected; and every patient's
// time stamp follows the last data that arrived for it.
void PatManagement::renewActivePatients(std::vector<RegistryPatient>& registry,
                                        const QString& nowText) {
    QHash<QString, std::vector<std::size_t>> stored;
    for (std::size_t r = 0; r < registry.size(); ++r)
        stored[registry[r].patient.PatientID].push_back(r);
    for (int i = 0; i < m_patients.Count(); ++i) {
        PatientEntry& entry = m_patients.At(i);
        if (!entry.Enabled)
            continue;
        const QString lastData = entry.LastResult.isValid()
                                     ? entry.LastResult.toString(QLatin1String(kTimeStampFormat))
                                     : QString();
        if (entry.Checked)
            entry.Patient.TimeStamp = nowText;
        else if (!lastData.isEmpty())
            entry.Patient.TimeStamp = laterStamp(entry.Patient.TimeStamp, lastData);
        const auto found = stored.constFind(entry.Patient.PatientID);
        if (found == stored.constEnd())
            continue;
        for (const std::size_t r : *found) {
            TPatient& patient = registry[r].patient;
            if (entry.Checked || patient.Collect)
                patient.TimeStamp = nowText;
            else if (!lastData.isEmpty())
                patient.TimeStamp = laterStamp(patient.TimeStamp, lastData);
        }
    }
}

// Expired patients leave the list (each reported once); registry patients missing from the
// list join it, checked at start-up when they were being collected.
void PatManagement::mergeRegistry(std::vector<RegistryPatient>& registry, const QDateTime& now,
                                  bool startup) {
    QHash<QString, int> listed = firstPositions(m_patients);
    QSet<QString> reported;
    for (RegistryPatient& entry : registry) {
        const QString& id = entry.patient.PatientID;
        const int index = listed.value(id, -1);
        // A list entry renewed above (or newer than what the registry held) keeps the
        // patient, whatever an older value of the same ID says.
        const QString stamp =
            index >= 0 ? laterStamp(entry.patient.TimeStamp, m_patients.At(index).Patient.TimeStamp)
                       : entry.patient.TimeStamp;
        if (expiredAt(stamp, now)) {
            if (index >= 0) {
                m_patients.RemoveAt(index);
                listed = firstPositions(m_patients);
            }
            if (!reported.contains(id)) {
                reported.insert(id);
                reportExpired(id, stamp);
            }
        } else if (index < 0) {
            TPatient patient = entry.patient;
            const bool checked = startup && patient.Collect;
            patient.Collect = checked;
            listed.insert(patient.PatientID, m_patients.Add(patient, checked, false));
        }
    }
}

void PatManagement::reportExpired(const QString& id, const QString& stamp) {
    m_log.writeLog(QStringLiteral("Patient ") + id +
                   QStringLiteral(" removed from the patient list: no data for "
                                  "more than a day (last data ") +
                   timeStampOf(stamp).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + u')');
}

void PatManagement::SavePatientRegistry() {
    try {
        writeList(patientValueNames());
    } catch (...) {
    }
}

QString PatManagement::PatientIDForNumber(int number) const {
    const QString name = QLatin1String(kPrefix) + QString::number(number);
    if (!m_settings.valueNames().contains(name))
        return {};
    return Field(m_settings.readText(name), 2);
}

int PatManagement::PatientNumberForID(const QString& id) const {
    const QString key = reduced(id, m_reduction);
    for (const QString& name : patientValueNames()) {
        if (Field(m_settings.readText(name), 2) == key)
            return numberOf(name);
    }
    m_log.writeLog(QStringLiteral("Not found: PatientNr=") + QStringLiteral("-1") +
                   QStringLiteral(", PatientID=") + id);
    return -1;
}
