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
    CollectorState& state = m_context.state;
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
        state.rebuildFolder.isEmpty()
            ? PatientIdentity::PatientFolderFor(patient.id, state.dataRoot, state.idReduction)
            : state.rebuildFolder;
    state.currentPatientFolder = patient.folder;
    state.currentPatientLastName = patient.lastName;
    state.currentPatientFirstName = patient.firstName;
    state.currentPatientFullName = patient.firstName + u' ' + patient.lastName;
    state.currentPatientId = patient.id;
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
    m_context.state.errorIndex = 33;
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
    CollectorState& state = m_context.state;
    state.errorIndex = 34;
    state.dataReceived = true;
    TParameters& catalogue = m_context.catalogue;
    const int found = catalogue.IndexOf(parameterName, place);
    const int catalogueIndex = found >= 0 ? found : catalogue.Count();
    state.errorIndex = 35;
    m_latestValueText = PatientIdentity::LatestValueText(parameterName, place, value, unit);
    m_patientLabel = state.currentPatientId + u' ' + state.currentPatientFirstName + u' ' +
                     state.currentPatientLastName;
    m_latestTime = time;
    state.errorIndex = 36;
    const bool added = found < 0;
    if (added)
        catalogue.Add(catalogueIndex, unit, place, parameterName, m_context.clock.now());
    if (updateGrid)
        m_context.grid.ShowValue(m_latestValueText, time);
    emit displayChanged();
    return added;
}

bool ResultProcessor::openDataFile(TSaveItNew& writer, std::vector<TParameterSerie>& series) {
    const CollectorState& state = m_context.state;
    TPatientDataFileOpening opening = OpenPatientDataFile(
        writer, state.currentPatientFolder, state.currentPatientFullName, state.currentPatientId);
    for (const QString& notice : opening.notices)
        m_context.log.writeLog(notice);
    if (!opening.opened) {
        m_context.log.writeLog(
            QStringLiteral("No patient data file of ") + state.currentPatientFolder +
            QStringLiteral(" can be used for patient ") + state.currentPatientId +
            QStringLiteral("; the value is not stored (") + opening.failures.value(0) + u')');
        return false;
    }
    series = std::move(opening.CurrentSeries);
    return true;
}

void ResultProcessor::BeginFileResults() {
    m_keepSeries = true;
    m_keptWriter = nullptr;
}

void ResultProcessor::EndFileResults() {
    m_keepSeries = false;
    m_keptWriter = nullptr;
    m_keptSeries.clear();
}

std::vector<TParameterSerie>* ResultProcessor::fileResultSeries(TSaveItNew& writer) {
    const CollectorState& state = m_context.state;
    const QString patient = state.currentPatientId + u'\n' + state.currentPatientFullName;
    if (m_keepSeries && m_keptWriter == &writer && m_keptFolder == state.currentPatientFolder &&
        m_keptPatient == patient) {
        writer.SetFileName(m_keptFile);
        return &m_keptSeries;
    }
    m_keptWriter = nullptr;
    if (!openDataFile(writer, m_keptSeries))
        return nullptr;
    if (m_keepSeries) {
        m_keptWriter = &writer;
        m_keptFile = writer.FileName();
        m_keptFolder = state.currentPatientFolder;
        m_keptPatient = patient;
    }
    return &m_keptSeries;
}

void ResultProcessor::storePoint(TSaveItNew& writer, std::vector<TParameterSerie>& series,
                                 const QString& parameterName, const QString& place,
                                 const QString& unit, qint32 attemptNo, const QString& vialId,
                                 const QString& statusText, TAnalyseResult status, double value,
                                 const QDateTime& time) {
    const qint16 index =
        FindOrCreateSerie(writer, series, parameterName, place, unit, SerieMatch::NamePlaceAndUnit);
    m_context.state.lastSampleTime = time;
    if (writer.AppendPoint(index, status, attemptNo, vialId, statusText, value,
                           OleDateTime::fromDateTime(time))) {
        ++m_stored[QLatin1String(m_kind)];
        m_lastStored = m_context.clock.now();
        const CollectorState& state = m_context.state;
        StoredResult stored;
        stored.patientId = state.currentPatientId;
        stored.lastName = state.currentPatientLastName;
        stored.firstName = state.currentPatientFirstName;
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
        if (state.currentPatientLastName == QLatin1String(PseudoPatients::kCalibrationLastName))
            stored.kind = StoredResult::Kind::Calibration;
        else if (state.currentPatientLastName == QLatin1String(PseudoPatients::kControlLastName) ||
                 state.currentPatientId.compare(QLatin1String(PseudoPatients::kAutoControl),
                                                Qt::CaseInsensitive) == 0)
            stored.kind = StoredResult::Kind::Control;
        emit resultStored(stored);
    } else {
        m_context.log.writeLog(
            QStringLiteral("Value not stored: patient ") + m_context.state.currentPatientId +
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

void ResultProcessor::ProcessResult(TSaveItNew& writer, const QString& patientId, bool control,
                                    qint32 attemptNo, const QString& vialId,
                                    const QString& statusText, const QString& timeText,
                                    const QString& unit, double value, const QString& parameterName,
                                    const QString& place, const QString& lastName,
                                    const QString& firstName) {
    CollectorState& state = m_context.state;
    state.errorIndex = 21;
    ++m_resultCalls;
    m_kind = "live";
    state.processing = true;
    bool listChanged = false;
    struct Closing {
        ResultProcessor& processor;
        bool& listChanged;
        ~Closing() {
            try {
                processor.saveListIfChanged(listChanged);
            } catch (...) {
            }
            processor.m_context.state.processing = false;
        }
    } closing{*this, listChanged};

    state.errorIndex = 22;
    Patient patient;
    if (!takePatient(patientId, false, firstName, lastName, patient))
        return;
    state.errorIndex = 24;
    patient.recordExists = m_recordFiles.Exists(patient.folder);
    if (!patient.recordExists && state.autoCreate && collecting(state.collection)) {
        emit patientFileCreated(PatientRecordFile::Create(patient.id, patient.firstName,
                                                          patient.folder, patient.lastName));
        patient.recordExists = m_recordFiles.Exists(patient.folder);
    }
    state.errorIndex = 28;
    ensureEntry(patient, listChanged);
    const bool newParameter =
        showValue(parameterName, place, value, unit, sampleTime(timeText), true);

    state.errorIndex = 37;
    const bool store = !state.monitorNetworkLocation &&
                       state.collection == CollectionState::Collecting && patient.checked &&
                       patient.recordExists;
    if (store) {
        std::vector<TParameterSerie> series;
        if (openDataFile(writer, series)) {
            state.errorIndex = 38;
            const TAnalyseResult status = PatientIdentity::StatusFromText(statusText);
            // The value is stored before it is announced: a server that does not take the
            // announcement (logged by the link) costs no stored value.
            if (state.protocol != AnalyzerProtocol::Xml) {
                const QDateTime time = TimeFromLineText(timeText);
                storePoint(writer, series, parameterName, place, unit, attemptNo, vialId,
                           statusText, status, value, time);
                m_context.orvanta.addResult(patient.id, parameterName, place, unit, time, value);
            } else {
                const QDateTime time = TimeFromXmlText(timeText);
                if (time.isValid()) {
                    if (control)
                        storePoint(writer, series, parameterName, place, unit, attemptNo, vialId,
                                   statusText, status, value, time);
                    m_context.orvanta.addResult(patient.id, parameterName, place, unit, time,
                                                value);
                }
            }
        }
    }
    state.errorIndex = 39;
    if (newParameter)
        m_parametersButtonEnabled = true;
    state.errorIndex = 40;
    if (patient.recordExists)
        m_context.orvanta.notifyUpdate();
    state.errorIndex = 41;
}

bool ResultProcessor::AdmitPatient(TSaveItNew&, const QString& patientId, const QString& firstName,
                                   const QString& lastName) {
    CollectorState& state = m_context.state;
    bool listChanged = false;
    state.errorIndex = 21;
    Patient patient;
    const bool admitted = takePatient(patientId, true, firstName, lastName, patient);
    if (admitted) {
        state.errorIndex = 26;
        if (collecting(state.collection))
            PatientRecordFile::CreateIfMissing(patient.id, patient.firstName, patient.folder,
                                               patient.lastName);
        state.errorIndex = 27;
        patient.recordExists = m_recordFiles.Exists(patient.folder);
        ensureEntry(patient, listChanged);
        m_admittedChecked = patient.checked;
        m_admittedFolder = patient.folder;
        m_admittedRecordExists = patient.recordExists;
    } else {
        m_admittedChecked = false;
        m_admittedFolder.clear();
    }
    state.processing = false;
    state.dataReceived = true;
    saveListIfChanged(listChanged);
    return admitted;
}

void ResultProcessor::StoreFileResult(TSaveItNew& writer, const QString& place, bool show,
                                      qint32 attemptNo, const QString& vialId,
                                      const QString& statusText, TAnalyseResult status, bool force,
                                      const QDateTime& time, const QString& unit, double value,
                                      const QString& parameterName) {
    CollectorState& state = m_context.state;
    ++m_documentResults;
    m_kind = "document";
    DecimalSeparator::set(state.savedDecimalSeparator);
    const bool newParameter = showValue(parameterName, place, value, unit,
                                        time.isValid() ? time : m_context.clock.now(), show);
    // Collection that runs while the analyzer link is lost still collects: a rebuild that was
    // asked for while collecting must not leave the patient's data file empty because the
    // analyzer went away in the meantime.
    const bool collected = (collecting(state.collection) && m_admittedChecked) || force;
    const bool recordExists = state.currentPatientFolder == m_admittedFolder
                                  ? m_admittedRecordExists
                                  : m_recordFiles.Exists(state.currentPatientFolder);
    if (collected && recordExists) {
        std::vector<TParameterSerie>* series = fileResultSeries(writer);
        if (series != nullptr && status != TAnalyseResult::arUndefined)
            storePoint(writer, *series, parameterName, place, unit, attemptNo, vialId, statusText,
                       status, value, time);
    }
    if (newParameter)
        m_parametersButtonEnabled = true;
}
