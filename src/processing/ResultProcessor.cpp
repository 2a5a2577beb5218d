#include "ResultProcessor.h"

#include "Clock.h"
#include "CollectorState.h"
#include "DecimalSeparator.h"
#include "EventLog.h"
#include "LatestValueGrid.h"
#include "OleDateTime.h"
#include "OperatorMessages.h"
#include "OrvantaLink.h"
#include "ParameterCatalogue.h"
#include "PatManagement.h"
#include "PatientDataFile.h"
#include "PatientIdentity.h"
#include "PatientList.h"
#include "PatientRecordFile.h"
#include "PseudoPatients.h"
#include "TSaveItNew.h"
#include "XmlErrors.h"

namespace {

constexpr auto kTimeStampFormat = "yyyyMMddHHmmss";

bool collecting(CollectionState state) {
    return state == CollectionState::Collecting || state == CollectionState::CollectingOffline;
}

int digits(const QString& text, qsizetype from, qsizetype count) {
    bool ok = false;
    const int value = text.mid(from, count).toInt(&ok);
    if (!ok || text.size() < from + count)
        throw EConvertError(u'\'' + text + QStringLiteral("' is not a valid date and time"));
    return value;
}

// A number written with exactly count digits at from; -1 when it is not.
int fixedDigits(QStringView text, qsizetype from, qsizetype count) {
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// The usual forms of the XML time texts, "yyyy-MM-dd" and "HH:mm:ss", read without a format
// parser; anything else (or an impossible date) is left to the parser.
QDate dateFromFixedText(QStringView text) {
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-')
        return {};
    const int year = fixedDigits(text, 0, 4);
    const int month = fixedDigits(text, 5, 2);
    const int day = fixedDigits(text, 8, 2);
    return year < 0 || month < 0 || day < 0 ? QDate() : QDate(year, month, day);
}

QTime timeFromFixedText(QStringView text) {
    if (text.size() != 8 || text[2] != u':' || text[5] != u':')
        return {};
    const int hour = fixedDigits(text, 0, 2);
    const int minute = fixedDigits(text, 3, 2);
    const int second = fixedDigits(text, 6, 2);
    return hour < 0 || minute < 0 || second < 0 ? QTime() : QTime(hour, minute, second);
}

// Value after value mostly brings the very same texts.
void takeText(QString& kept, const QString& text) {
    if (!kept.isSharedWith(text))
        kept = text;
}

} // namespace

// The patient of the result being processed.
struct ResultProcessor::Patient {
    QString id;
    QString firstName;
    QString lastName;
    QString folder;
    bool recordExists = false;
    bool checked = false;
};

QDateTime TimeFromLineText(const QString& text) {
    const QDate date(digits(text, 0, 4), digits(text, 4, 2), digits(text, 6, 2));
    const QTime time(digits(text, 8, 2), digits(text, 10, 2), digits(text, 12, 2));
    if (!date.isValid() || !time.isValid())
        throw EConvertError(u'\'' + text + QStringLiteral("' is not a valid date and time"));
    return QDateTime(date, time);
}

QDateTime TimeFromXmlText(const QString& text) {
    const qsizetype t = text.indexOf(u'T');
    if (t < 0)
        return {};
    const QStringView dateText = QStringView(text).left(t).trimmed();
    QDate date = dateFromFixedText(dateText);
    if (!date.isValid())
        date = QDate::fromString(dateText.toString(), QStringLiteral("yyyy-MM-dd"));
    const QStringView timeText = QStringView(text).mid(t + 1, 255).trimmed();
    QTime time = timeFromFixedText(timeText);
    if (!time.isValid())
        time = QTime::fromString(timeText.toString(), QStringLiteral("HH:mm:ss"));
    if (!time.isValid())
        time = QTime::fromString(timeText.toString(), QStringLiteral("HH:mm"));
    if (!date.isValid() || !time.isValid())
        throw EConvertError(u'\'' + text + QStringLiteral("' is not a valid date and time"));
    return QDateTime(date, time);
}

qint16 FindOrCreateSerie(TSaveItNew& writer, std::vector<TParameterSerie>& series,
                         const QString& parameterName, const QString& place, const QString& unit,
                         SerieMatch match) {
    for (const TParameterSerie& serie : series) {
        if (serie.Identity.ParameterName() == parameterName &&
            serie.Identity.MeasurementPlace() == place &&
            serie.Identity.ParamExtraName().isEmpty() &&
            (match == SerieMatch::NameAndPlace || serie.Unit == unit))
            return serie.Index;
    }
    const qint16 index = qint16(series.size());
    writer.RegisterSerie(index, parameterName, place, QString(),
                         PatientIdentity::SubstanceName(parameterName), unit);
    TParameterSerie added;
    added.Index = index;
    added.Unit = unit;
    added.Identity.SetParameterName(parameterName);
    added.Identity.SetMeasurementPlace(place);
    series.push_back(std::move(added));
    return index;
}

ResultProcessor::ResultProcessor(ResultProcessorContext context, QObject* parent)
    : QObject(parent), m_context(std::move(context)) {}

bool ResultProcessor::takePatient(const QString& rawId, bool forAdmission, const QString& firstName,
                                  const QString& lastName, Patient& patient) {
    const CollectorState& state = m_context.state;
    const auto cleaning =
        forAdmission ? PatientIdentity::Cleaning::Admission : PatientIdentity::Cleaning::Result;
    bool refused = false;
    bool idShortened = false;
    patient.id = PatientIdentity::Clean(rawId, cleaning, state.idReduction, &refused, &idShortened);
    if (patient.id == QLatin1String(PatientIdentity::kNull)) {
        if (refused)
            m_context.log.writeLog(QStringLiteral("Patient ID \"") +
                                   PatientIdentity::LogExcerpt(rawId) +
                                   QStringLiteral("\" cannot name a patient folder; the result "
                                                  "is ignored"));
        return false;
    }
    if (idShortened)
        m_context.log.writeLog(QStringLiteral("Patient ID of %1 characters cut to its first %2: ")
                                   .arg(rawId.size())
                                   .arg(PatManagement::kLongestPatientId) +
                               patient.id);
    bool firstShortened = false;
    bool lastShortened = false;
    patient.firstName = PatientIdentity::CleanName(firstName, &firstShortened);
    patient.lastName = PatientIdentity::CleanName(lastName, &lastShortened);
    if (firstShortened || lastShortened)
        m_context.log.writeLog(QStringLiteral("Patient name of patient ") + patient.id +
                               QStringLiteral(" (%1 and %2 characters) cut to at most %3 "
                                              "characters each: ")
                                   .arg(firstName.size())
                                   .arg(lastName.size())
                                   .arg(PatManagement::kLongestName) +
                               patient.firstName + u' ' + patient.lastName);
    patient.folder =
        m_progress.rebuildFolder().isEmpty()
            ? PatientIdentity::PatientFolderFor(patient.id, state.dataRoot, state.idReduction)
            : m_progress.rebuildFolder();
    m_progress.setCurrentPatient(patient.id, patient.firstName, patient.lastName, patient.folder);
    return true;
}

// Finds or adds the patient's list entry, brings its names up to date and enables it.
void ResultProcessor::ensureEntry(Patient& patient, bool& listChanged) {
    m_context.grid.ShowPatient(patient.id, patient.firstName, patient.lastName);
    PatientListModel& list = m_context.patients;
    int index = list.IndexOf(patient.id);
    const bool namesDiffer = index >= 0 && (list.At(index).Patient.FirstName != patient.firstName ||
                                            list.At(index).Patient.LastName != patient.lastName);
    if (index < 0) {
        TPatient entry;
        entry.FirstName = patient.firstName;
        entry.LastName = patient.lastName;
        entry.PatientID = patient.id;
        entry.Collect = m_context.state.autoCreate;
        entry.TimeStamp = m_context.clock.now().toString(QLatin1String(kTimeStampFormat));
        list.Add(entry, m_context.state.autoCreate, false);
        listChanged = true;
    }
    if (patient.recordExists && namesDiffer) {
        QString failure;
        const bool updated =
            PatientRecordFile::UpdateNames(patient.id, patient.firstName, patient.folder,
                                           patient.lastName, m_context.tcaDataIni, &failure);
        if (!failure.isEmpty() && m_context.messages)
            m_context.messages->showMessage(failure);
        if (updated) {
            PatientEntry& entry = list.At(index);
            entry.Patient.FirstName = patient.firstName;
            entry.Patient.LastName = patient.lastName;
            entry.Caption =
                PatientListModel::CaptionFor(patient.id, patient.firstName, patient.lastName);
            listChanged = true;
        }
    }
    m_progress.reachStep(33);
    index = list.IndexOf(patient.id);
    patient.checked = false;
    if (index >= 0) {
        list.At(index).LastResult = m_context.clock.now();
        list.SetEnabled(index, true);
        patient.checked = list.At(index).Checked;
    }
}

// The latest-value displays and the catalogue; true when the parameter is new.
// The time a result's text gives, for the displays; the time now when it does not read.
QDateTime ResultProcessor::sampleTime(const QString& timeText) const {
    try {
        const QDateTime time = m_context.state.protocol == AnalyzerProtocol::Xml
                                   ? TimeFromXmlText(timeText)
                                   : TimeFromLineText(timeText);
        if (time.isValid())
            return time;
    } catch (const std::exception&) {
        // Storing reports the unreadable text; the display shows when the value arrived.
    }
    return m_context.clock.now();
}

bool ResultProcessor::showValue(const QString& parameterName, const QString& place, double value,
                                const QString& unit, const QDateTime& time, bool updateGrid) {
    m_progress.reachStep(34);
    m_progress.noteDataReceived();
    TParameters& catalogue = m_context.catalogue;
    const int found = catalogue.IndexOf(parameterName, place);
    const int catalogueIndex = found >= 0 ? found : catalogue.Count();
    m_progress.reachStep(35);
    takeText(m_latestValue.parameterName, parameterName);
    takeText(m_latestValue.place, place);
    takeText(m_latestValue.unit, unit);
    m_latestValue.value = value;
    m_latestValue.separator = DecimalSeparator::current();
    m_latestValueDue = true;
    const ProcessingProgress::Patient& current = m_progress.currentPatient();
    takeText(m_labelId, current.id);
    takeText(m_labelFirstName, current.firstName);
    takeText(m_labelLastName, current.lastName);
    m_patientLabelDue = true;
    m_latestTime = time;
    m_progress.reachStep(36);
    const bool added = found < 0;
    if (added)
        catalogue.Add(catalogueIndex, unit, place, parameterName, m_context.clock.now());
    if (updateGrid)
        m_context.grid.ShowValue(m_latestValue, time);
    emit displayChanged();
    return added;
}

const QString& ResultProcessor::LatestValue() const {
    if (m_latestValueDue) {
        m_latestValueText = PatientIdentity::LatestValueText(m_latestValue);
        m_latestValueDue = false;
    }
    return m_latestValueText;
}

const QString& ResultProcessor::PatientLabel() const {
    if (m_patientLabelDue) {
        m_patientLabel = m_labelId + u' ' + m_labelFirstName + u' ' + m_labelLastName;
        m_patientLabelDue = false;
    }
    return m_patientLabel;
}

const QDateTime& ResultProcessor::LastStored() const {
    if (m_lastStoredDue) {
        m_lastStored = m_context.clock.now();
        m_lastStoredDue = false;
    }
    return m_lastStored;
}

bool ResultProcessor::openDataFile(TSaveItNew& writer, std::vector<TParameterSerie>& series) {
    const ProcessingProgress::Patient& current = m_progress.currentPatient();
    TPatientDataFileOpening opening =
        OpenPatientDataFile(writer, current.folder, current.fullName, current.id);
    for (const QString& notice : opening.notices)
        m_context.log.writeLog(notice);
    if (!opening.opened) {
        m_context.log.writeLog(QStringLiteral("No patient data file of ") + current.folder +
                               QStringLiteral(" can be used for patient ") + current.id +
                               QStringLiteral("; the value is not stored (") +
                               opening.failures.value(0) + u')');
        return false;
    }
    series = std::move(opening.CurrentSeries);
    return true;
}

void ResultProcessor::BeginFileResults() {
    ++m_fileResultsDepth;
    m_keptUnchecked = true;
}

void ResultProcessor::EndFileResults() {
    LastStored(); // the values of the document were stored by now
    m_keptUnchecked = true;
    if (m_fileResultsDepth > 0 && --m_fileResultsDepth > 0)
        return;
    m_keptWriter = nullptr;
    m_keptSeries.clear();
    m_recordFolderSeen.clear();
}

// Whether the series kept from an earlier batch still describe the file for this one. Only the
// file a rebuild builds is trusted from one batch to the next: it is the writer's own while the
// rebuild runs, and nothing but this processor adds series to it. The writer checks it for the
// new batch; when it no longer holds what it read of the file (it was reset or the file is
// gone), the file is opened and checked anew.
bool ResultProcessor::keptSeriesStillHold(TSaveItNew& writer) {
    if (!writer.HasStandIn() || writer.StandIn() != m_keptFile)
        return false;
    writer.SetFileName(m_keptFile);
    if (!writer.IsLoaded())
        return false;
    try {
        writer.LoadFile();
    } catch (const std::exception&) {
        return false; // opening it again reports why
    }
    return writer.IsLoaded();
}

std::vector<TParameterSerie>* ResultProcessor::fileResultSeries(TSaveItNew& writer) {
    const ProcessingProgress::Patient& current = m_progress.currentPatient();
    const bool samePatient = m_fileResultsDepth > 0 && m_keptWriter == &writer &&
                             m_keptFolder == current.folder && m_keptId == current.id &&
                             m_keptFullName == current.fullName;
    if (samePatient && (!m_keptUnchecked || keptSeriesStillHold(writer))) {
        m_keptUnchecked = false;
        writer.SetFileName(m_keptFile);
        return &m_keptSeries;
    }
    m_keptWriter = nullptr;
    if (!openDataFile(writer, m_keptSeries))
        return nullptr;
    if (m_fileResultsDepth > 0) {
        m_keptWriter = &writer;
        m_keptUnchecked = false;
        m_keptFile = writer.FileName();
        m_keptFolder = current.folder;
        m_keptId = current.id;
        m_keptFullName = current.fullName;
    }
    return &m_keptSeries;
}

void ResultProcessor::storePoint(TSaveItNew& writer, std::vector<TParameterSerie>& series,
                                 const QString& parameterName, const QString& place,
                                 const QString& unit, qint32 attemptNo, const QString& vialId,
                                 const QString& statusText, TAnalyseResult status, double value,
                                 const QDateTime& time) {
    qint16 index = 0;
    try {
        index = FindOrCreateSerie(writer, series, parameterName, place, unit,
                                  SerieMatch::NamePlaceAndUnit);
    } catch (...) {
        m_keptWriter = nullptr; // what the file holds now is read again
        throw;
    }
    m_progress.setLastSampleTime(time);
    if (writer.AppendPoint(index, status, attemptNo, vialId, statusText, value,
                           OleDateTime::fromDateTime(time))) {
        ++m_stored[QLatin1String(m_kind)];
        // A document's values take the time once, when it is done.
        m_lastStoredDue = m_fileResultsDepth > 0;
        if (!m_lastStoredDue)
            m_lastStored = m_context.clock.now();
        const ProcessingProgress::Patient& current = m_progress.currentPatient();
        StoredResult stored;
        stored.patientId = current.id;
        stored.lastName = current.lastName;
        stored.firstName = current.firstName;
        stored.parameter = parameterName;
        stored.place = place;
        stored.unit = unit;
        stored.value = value;
        stored.time = time;
        stored.vialId = vialId;
        stored.attemptNo = attemptNo;
        stored.statusText = statusText;
        stored.status = quint8(status);
        stored.analyzer = m_analyzer;
        if (current.lastName == QLatin1String(PseudoPatients::kCalibrationLastName))
            stored.kind = StoredResult::Kind::Calibration;
        else if (current.lastName == QLatin1String(PseudoPatients::kControlLastName) ||
                 current.id.compare(QLatin1String(PseudoPatients::kAutoControl),
                                    Qt::CaseInsensitive) == 0)
            stored.kind = StoredResult::Kind::Control;
        emit resultStored(stored);
    } else {
        m_context.log.writeLog(
            QStringLiteral("Value not stored: patient ") + m_progress.currentPatient().id +
            QStringLiteral(", ") + parameterName + u' ' + place + QStringLiteral(" at ") +
            time.toString(Qt::ISODate) + QStringLiteral(": ") + writer.LastError());
    }
}

void ResultProcessor::EventStored(StoredEvent event) {
    event.analyzer = m_analyzer;
    emit eventStored(event);
}

void ResultProcessor::saveListIfChanged(bool listChanged) {
    if (listChanged)
        m_context.registry.RequestSweep();
}

// A new patient's record file, while collecting with AutoCreate on.
void ResultProcessor::ensureRecord(Patient& patient) {
    const CollectorState& state = m_context.state;
    patient.recordExists = m_recordFiles.Exists(patient.folder);
    if (!patient.recordExists && state.autoCreate && collecting(state.collection)) {
        emit patientFileCreated(PatientRecordFile::Create(patient.id, patient.firstName,
                                                          patient.folder, patient.lastName));
        patient.recordExists = m_recordFiles.Exists(patient.folder);
    }
}

// The value is stored before it is announced: a server that does not take the announcement
// (logged by the link) costs no stored value.
void ResultProcessor::storeLiveValue(TSaveItNew& writer, const Patient& patient,
                                     const LiveValue& live) {
    // A series this value adds to a file is not among the ones kept for documents.
    m_keptWriter = nullptr;
    std::vector<TParameterSerie> series;
    if (!openDataFile(writer, series))
        return;
    m_progress.reachStep(38);
    const TAnalyseResult status = PatientIdentity::StatusFromText(live.statusText);
    const bool lineProtocol = m_context.state.protocol != AnalyzerProtocol::Xml;
    const QDateTime time =
        lineProtocol ? TimeFromLineText(live.timeText) : TimeFromXmlText(live.timeText);
    if (!lineProtocol && !time.isValid())
        return;
    if (lineProtocol || live.control)
        storePoint(writer, series, live.parameterName, live.place, live.unit, live.attemptNo,
                   live.vialId, live.statusText, status, live.value, time);
    m_context.orvanta.addResult(patient.id, live.parameterName, live.place, live.unit, time,
                                live.value);
}

void ResultProcessor::ProcessResult(TSaveItNew& writer, const QString& patientId, bool control,
                                    qint32 attemptNo, const QString& vialId,
                                    const QString& statusText, const QString& timeText,
                                    const QString& unit, double value, const QString& parameterName,
                                    const QString& place, const QString& lastName,
                                    const QString& firstName) {
    const CollectorState& state = m_context.state;
    m_progress.reachStep(21);
    ++m_resultCalls;
    m_kind = "live";
    m_progress.setProcessing(true);
    bool listChanged = false;
    struct Closing {
        ResultProcessor& processor;
        bool& listChanged;
        ~Closing() {
            try {
                processor.saveListIfChanged(listChanged);
            } catch (...) {
            }
            processor.m_progress.setProcessing(false);
        }
    } closing{*this, listChanged};

    m_progress.reachStep(22);
    Patient patient;
    if (!takePatient(patientId, false, firstName, lastName, patient))
        return;
    m_progress.reachStep(24);
    ensureRecord(patient);
    m_progress.reachStep(28);
    ensureEntry(patient, listChanged);
    const bool newParameter =
        showValue(parameterName, place, value, unit, sampleTime(timeText), true);

    m_progress.reachStep(37);
    const bool store = !state.monitorNetworkLocation &&
                       state.collection == CollectionState::Collecting && patient.checked &&
                       patient.recordExists;
    if (store)
        storeLiveValue(
            writer, patient,
            {vialId, statusText, timeText, unit, parameterName, place, attemptNo, value, control});
    m_progress.reachStep(39);
    if (newParameter)
        m_parametersButtonEnabled = true;
    m_progress.reachStep(40);
    if (patient.recordExists)
        m_context.orvanta.notifyUpdate();
    m_progress.reachStep(41);
}

bool ResultProcessor::AdmitPatient(TSaveItNew&, const QString& patientId, const QString& firstName,
                                   const QString& lastName) {
    const CollectorState& state = m_context.state;
    bool listChanged = false;
    m_progress.reachStep(21);
    Patient patient;
    const bool admitted = takePatient(patientId, true, firstName, lastName, patient);
    if (admitted) {
        m_progress.reachStep(26);
        // Within a rebuild the record file, once found, is not looked for again.
        const bool seen = m_fileResultsDepth > 0 && patient.folder == m_recordFolderSeen;
        if (collecting(state.collection) && !seen)
            PatientRecordFile::CreateIfMissing(patient.id, patient.firstName, patient.folder,
                                               patient.lastName);
        m_progress.reachStep(27);
        patient.recordExists = seen || m_recordFiles.Exists(patient.folder);
        if (patient.recordExists && m_fileResultsDepth > 0)
            m_recordFolderSeen = patient.folder;
        ensureEntry(patient, listChanged);
        m_admittedChecked = patient.checked;
        m_admittedFolder = patient.folder;
        m_admittedRecordExists = patient.recordExists;
    } else {
        m_admittedChecked = false;
        m_admittedFolder.clear();
    }
    m_progress.setProcessing(false);
    m_progress.noteDataReceived();
    saveListIfChanged(listChanged);
    return admitted;
}

void ResultProcessor::StoreFileResult(TSaveItNew& writer, const QString& place, bool show,
                                      qint32 attemptNo, const QString& vialId,
                                      const QString& statusText, TAnalyseResult status, bool force,
                                      const QDateTime& time, const QString& unit, double value,
                                      const QString& parameterName) {
    const CollectorState& state = m_context.state;
    ++m_documentResults;
    m_kind = "document";
    DecimalSeparator::set(state.savedDecimalSeparator);
    const bool newParameter = showValue(parameterName, place, value, unit,
                                        time.isValid() ? time : m_context.clock.now(), show);
    // Collection that runs while the analyzer link is lost still collects: a rebuild that was
    // asked for while collecting must not leave the patient's data file empty because the
    // analyzer went away in the meantime.
    const bool collected = (collecting(state.collection) && m_admittedChecked) || force;
    const bool recordExists = m_progress.currentPatient().folder == m_admittedFolder
                                  ? m_admittedRecordExists
                                  : m_recordFiles.Exists(m_progress.currentPatient().folder);
    if (collected && recordExists) {
        std::vector<TParameterSerie>* series = fileResultSeries(writer);
        if (series != nullptr && status != TAnalyseResult::arUndefined)
            storePoint(writer, *series, parameterName, place, unit, attemptNo, vialId, statusText,
                       status, value, time);
    }
    if (newParameter)
        m_parametersButtonEnabled = true;
}
