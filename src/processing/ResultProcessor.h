#pragma once

#include <map>

#include <vector>

#include <QDateTime>
#include <QObject>
#include <QString>

#include "PatientIdentity.h"
#include "PatientRecordPresence.h"
#include "ProcessingProgress.h"
#include "StoredResult.h"
#include "TParameterSerie.h"
#include "ZelTypes.h"

struct CollectorState;
class Clock;
class EventLog;
class LatestValueGrid;
class OperatorMessages;
class OrvantaLink;
class PatManagement;
class PatientListModel;
class TParameters;
class TSaveItNew;

// Everything result processing reads and changes, owned by the collector.
struct ResultProcessorContext {
    const CollectorState& state;
    EventLog& log;
    PatientListModel& patients;
    PatManagement& registry;
    TParameters& catalogue;
    LatestValueGrid& grid;
    OrvantaLink& orvanta;
    const Clock& clock;
    OperatorMessages* messages = nullptr;
    QString tcaDataIni; // the patient data management system's ini ("C:\TCA\TCADATA.INI")
};

// The one way every protocol turns a result into stored data: the patient is found or added,
// the displays and the parameter catalogue follow the value, and while the patient is collected
// the value is appended to its series in the patient's data file and announced.
class ResultProcessor : public QObject {
    Q_OBJECT

public:
    explicit ResultProcessor(ResultProcessorContext context, QObject* parent = nullptr);

    // One result. Failures (an unreadable time text) reach the caller; the patient list is
    // still saved when it changed. A refused announcement is logged and changes nothing stored.
    void ProcessResult(TSaveItNew& writer, const QString& patientId, bool control, qint32 attemptNo,
                       const QString& vialId, const QString& statusText, const QString& timeText,
                       const QString& unit, double value, const QString& parameterName,
                       const QString& place, const QString& lastName, const QString& firstName);

    // The patient of a patient-data document; StoreFileResult then stores its values. False
    // when the ID names no patient (the current patient then stays what it was).
    bool AdmitPatient(TSaveItNew& writer, const QString& patientId, const QString& firstName,
                      const QString& lastName);

    // One value of a patient-data document for the patient last admitted.
    void StoreFileResult(TSaveItNew& writer, const QString& place, bool show, qint32 attemptNo,
                         const QString& vialId, const QString& statusText, TAnalyseResult status,
                         bool force, const QDateTime& time, const QString& unit, double value,
                         const QString& parameterName);

    // Around the values of one document, stored one after another while the writer's batch
    // runs: the file opened for the first value of a patient stays the file of the next ones
    // (the batch trusts it once checked), so its series are kept here instead of being read
    // again for every value. These nest: around all documents of a rebuild, the file being
    // built (the writer's own while the rebuild runs) keeps its series from one document to
    // the next, and the patient's record file, once there, is not looked for again.
    void BeginFileResults();
    void EndFileResults();

    // How far processing got and the current patient; the readers of messages, documents and
    // record lines mark their steps here.
    ProcessingProgress& Progress() { return m_progress; }
    const ProcessingProgress& Progress() const { return m_progress; }

    // What the window shows of the last result (written when first read after a new value).
    const QString& LatestValue() const;
    const QString& PatientLabel() const;
    // When the latest value was measured (the time it was received when its time text does
    // not read).
    const QDateTime& LatestTime() const { return m_latestTime; }
    bool ParametersButtonEnabled() const { return m_parametersButtonEnabled; }
    int ResultCalls() const { return m_resultCalls; }
    // Results stored in data files since the start, by kind ("live": results as they arrive,
    // "document": values of archived documents), and when the last one was stored.
    const std::map<QString, qint64>& StoredResults() const { return m_stored; }
    const QDateTime& LastStored() const;
    // Document values handed over since the start.
    qint64 DocumentResults() const { return m_documentResults; }
    // The analyzer of what is stored next (StoredResult::analyzer); every path that stores
    // results or events sets it first.
    void SetAnalyzer(const QString& analyzer) { m_analyzer = analyzer; }
    // An event was written to the current patient's events file.
    void EventStored(StoredEvent event);

signals:
    // A patient file was created for a new patient (the New Patient window shows the text).
    void patientFileCreated(const QString& statusText);
    void displayChanged();
    // A value was appended to a patient's data file (also each time a rebuild stores it again).
    void resultStored(const StoredResult& result);
    void eventStored(const StoredEvent& event);

private:
    struct Patient;
    bool takePatient(const QString& rawId, bool forAdmission, const QString& firstName,
                     const QString& lastName, Patient& patient);
    // A live result's values, as ProcessResult receives them.
    struct LiveValue {
        const QString& vialId;
        const QString& statusText;
        const QString& timeText;
        const QString& unit;
        const QString& parameterName;
        const QString& place;
        qint32 attemptNo;
        double value;
        bool control;
    };
    void ensureRecord(Patient& patient);
    void ensureEntry(Patient& patient, bool& listChanged);
    void storeLiveValue(TSaveItNew& writer, const Patient& patient, const LiveValue& live);
    bool showValue(const QString& parameterName, const QString& place, double value,
                   const QString& unit, const QDateTime& time, bool updateGrid);
    QDateTime sampleTime(const QString& timeText) const;
    bool openDataFile(TSaveItNew& writer, std::vector<TParameterSerie>& series);
    std::vector<TParameterSerie>* fileResultSeries(TSaveItNew& writer);
    bool keptSeriesStillHold(TSaveItNew& writer);
    void storePoint(TSaveItNew& writer, std::vector<TParameterSerie>& series,
                    const QString& parameterName, const QString& place, const QString& unit,
                    qint32 attemptNo, const QString& vialId, const QString& statusText,
                    TAnalyseResult status, double value, const QDateTime& time);
    void saveListIfChanged(bool listChanged);

    ResultProcessorContext m_context;
    ProcessingProgress m_progress;
    // The last value shown and its patient; their texts are written when first read.
    PatientIdentity::LatestValueParts m_latestValue;
    mutable QString m_latestValueText;
    mutable bool m_latestValueDue = false;
    QString m_labelId;
    QString m_labelFirstName;
    QString m_labelLastName;
    mutable QString m_patientLabel;
    mutable bool m_patientLabelDue = false;
    QDateTime m_latestTime;
    bool m_parametersButtonEnabled = false;
    int m_resultCalls = 0;
    qint64 m_documentResults = 0;
    const char* m_kind = "live"; // what the value being stored is
    QString m_analyzer;
    std::map<QString, qint64> m_stored;
    // When the last value was stored; the values of a document take the time once, when the
    // document is done (or when it is asked for before).
    mutable QDateTime m_lastStored;
    mutable bool m_lastStoredDue = false;
    bool m_admittedChecked = false;
    // The admitted patient's folder and whether it held the record file when admitted.
    QString m_admittedFolder;
    bool m_admittedRecordExists = false;
    PatientRecordPresence m_recordFiles;
    // The file and series of the document's patient while a document's values are stored.
    int m_fileResultsDepth = 0;
    bool m_keptUnchecked = false; // a new batch began since the kept file was last checked
    // The folder whose record file was found while the file results of a rebuild run.
    QString m_recordFolderSeen;
    const TSaveItNew* m_keptWriter = nullptr;
    QString m_keptFile;
    QString m_keptFolder;
    QString m_keptId;
    QString m_keptFullName;
    std::vector<TParameterSerie> m_keptSeries;
};

// Which series a value belongs to: results match the unit too, end points do not.
enum class SerieMatch { NamePlaceAndUnit, NameAndPlace };

// The index of the first series of the open file with the parameter name, the place, an empty
// extra name (and the unit); a missing series is registered in the file with the next index and
// the parameter's substance key, and added to the list.
qint16 FindOrCreateSerie(TSaveItNew& writer, std::vector<TParameterSerie>& series,
                         const QString& parameterName, const QString& place, const QString& unit,
                         SerieMatch match);

// A line-protocol time text "yyyyMMddHHmmss"; throws EConvertError when it does not convert.
QDateTime TimeFromLineText(const QString& text);
// An XML time text: the date before the "T" ("yyyy-MM-dd"), the time after it ("HH:mm:ss").
// Returns an invalid date-time when there is no "T"; throws EConvertError when the parts do not
// convert.
QDateTime TimeFromXmlText(const QString& text);
