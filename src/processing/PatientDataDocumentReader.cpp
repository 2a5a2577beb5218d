#include "PatientDataDocumentReader.h"

#include <map>
#include <vector>

#include "Clock.h"
#include "CollectorState.h"
#include "DecimalSeparator.h"
#include "EventLog.h"
#include "LogPrefixes.h"
#include "PatientIdentity.h"
#include "ResultProcessor.h"
#include "TSaveItNew.h"
#include "TarvoError.h"
#include "UnitConverter.h"

namespace {

struct AnalytePoint {
    TMDPoint point;
    QDateTime time;
};

struct AnalyteLists {
    std::vector<AnalytePoint> glucose;
    std::vector<AnalytePoint> lactate;
    std::vector<AnalytePoint> pyruvate;

    std::vector<AnalytePoint>* listFor(const QString& analyte) {
        if (analyte == QLatin1String("Glucose"))
            return &glucose;
        if (analyte == QLatin1String("Lactate"))
            return &lactate;
        if (analyte == QLatin1String("Pyruvate"))
            return &pyruvate;
        return nullptr;
    }
};

struct Ratio {
    double value;
    QString vial;
    qint32 attempt;
    TAnalyseResult status;
};

Ratio ratioOf(const TMDPoint& numerator, const TMDPoint& denominator) {
    TMDPoint ratio;
    SetRatio(ratio, numerator.Unit, denominator.Unit, denominator.Y, numerator.Y);
    return {ratio.Y,
            numerator.VialID == denominator.VialID ? numerator.VialID
                                                   : numerator.VialID + u'/' + denominator.VialID,
            numerator.AttemptNo == denominator.AttemptNo
                ? numerator.AttemptNo
                : numerator.AttemptNo * 10 + denominator.AttemptNo,
            CombineStatus(numerator, denominator.Status)};
}

// What every value of one document is stored with.
struct DocumentStoring {
    ResultProcessor& processor;
    TSaveItNew& writer;
    bool force;
    bool show;
    bool hasAttemptNumbers;
    const Clock& clock;
    // The time of a measurement without one: 10000 days before the document was read, taken
    // when the first such measurement is read.
    mutable QDateTime undated;

    const QDateTime& undatedTime() const {
        if (!undated.isValid())
            undated = clock.now().addDays(-10000);
        return undated;
    }
};

void storeMeasurement(const DocumentStoring& storing,
                      const XMLTarvoParser::TXMLMeasurement& measurement, const QString& analyte,
                      const QString& unit, const QString& place, AnalyteLists& lists) {
    if (DecimalSeparator::current() != u'.')
        DecimalSeparator::set(u'.');
    QDateTime stamped = measurement.PlainTimeStamp();
    if (!stamped.isValid())
        stamped = TimeFromXmlText(measurement.Get_TimeStamp());
    const QDateTime time = stamped.isValid() ? stamped : storing.undatedTime();
    const QString statusText = measurement.Get_Status();
    const TAnalyseResult status = PatientIdentity::StatusFromText(statusText);
    const qint32 attempt = storing.hasAttemptNumbers ? measurement.Get_AttemptNo() : 1;
    const QString vial = measurement.Get_VialID();
    const double concentration = measurement.Get_Concentration();
    storing.processor.StoreFileResult(storing.writer, place, storing.show, attempt, vial,
                                      statusText, status, storing.force, time, unit, concentration,
                                      analyte);
    if (std::vector<AnalytePoint>* list = lists.listFor(analyte)) {
        AnalytePoint point;
        point.time = time;
        point.point.SetSubstance(analyte);
        point.point.Y = concentration;
        point.point.SetValueInUnit(unit, false, concentration);
        point.point.CatheterLocation = place;
        point.point.VialID = vial;
        point.point.AttemptNo = attempt;
        point.point.Status = status;
        list->push_back(point);
    }
}

// The first admission's patient is admitted; every measurement is stored for it.
void storeAdmissions(const DocumentStoring& storing, const XMLTarvoParser::TXMLTarvo& root,
                     AnalyteLists& lists) {
    for (int a = 0; a < root.Count(); ++a) {
        const XMLTarvoParser::TXMLAdmission admission = root[a];
        const auto patient = admission.Get_Patient();
        if (a == 0)
            storing.processor.AdmitPatient(storing.writer, patient.Get_PatientID(),
                                           patient.Get_FirstName(), patient.Get_LastName());
        storing.processor.SetAnalyzer(admission.Get_Machine());
        const auto recordings = admission.Get_Recording();
        for (int r = 0; r < recordings.Count(); ++r) {
            const XMLTarvoParser::TXMLRecording recording = recordings[r];
            // The recording's texts are the same for each of its measurements.
            const QString analyte = recording.Get_AnalyteCode();
            const QString unit = recording.Get_Unit();
            const QString place = recording.Get_CatheterLocation();
            const auto measurements = recording.Get_Measurement();
            for (int m = 0; m < measurements.Count(); ++m)
                storeMeasurement(storing, measurements[m], analyte, unit, place, lists);
        }
    }
}

// Denominators by wall-clock time and catheter, each list in its own order, so that pairing
// costs one look-up per lactate result.
using PairKey = std::pair<qint64, QString>;
using PointsByKey = std::map<PairKey, std::vector<const AnalytePoint*>>;

PairKey keyOf(const AnalytePoint& point) {
    return PairKey(point.time.date().toJulianDay() * 86400000 +
                       point.time.time().msecsSinceStartOfDay(),
                   point.point.CatheterLocation);
}

PointsByKey byKey(const std::vector<AnalytePoint>& list) {
    PointsByKey points;
    for (const AnalytePoint& point : list)
        points[keyOf(point)].push_back(&point);
    return points;
}

void storeRatiosOf(const DocumentStoring& storing, const AnalytePoint& numerator,
                   const PointsByKey& denominators, const QString& name) {
    const auto found = denominators.find(keyOf(numerator));
    if (found == denominators.end())
        return;
    for (const AnalytePoint* denominator : found->second) {
        const Ratio ratio = ratioOf(numerator.point, denominator->point);
        storing.processor.StoreFileResult(storing.writer, numerator.point.CatheterLocation,
                                          storing.show, ratio.attempt, ratio.vial, QString(),
                                          ratio.status, storing.force, numerator.time, QString(),
                                          ratio.value, name);
    }
}

void storeRatios(const DocumentStoring& storing, const AnalyteLists& lists) {
    const PointsByKey glucoseByKey = byKey(lists.glucose);
    const PointsByKey pyruvateByKey = byKey(lists.pyruvate);
    for (const AnalytePoint& lactate : lists.lactate) {
        storeRatiosOf(storing, lactate, glucoseByKey, QStringLiteral("LGRatio"));
        storeRatiosOf(storing, lactate, pyruvateByKey, QStringLiteral("LPRatio"));
    }
}

} // namespace

PatientDataDocumentReader::PatientDataDocumentReader(ResultProcessor& processor,
                                                     const CollectorState& state, EventLog& log,
                                                     const Clock& clock)
    : m_processor(processor), m_state(state), m_log(log), m_clock(clock) {}

void PatientDataDocumentReader::ReadPatientDataDocument(TSaveItNew& writer,
                                                        const XMLTarvoParser::TXMLTarvo& root,
                                                        bool force, bool hasAttemptNumbers,
                                                        bool show) {
    const DocumentStoring storing{m_processor, writer, force, show, hasAttemptNumbers, m_clock, {}};
    AnalyteLists lists;
    const auto logFailure = [this](const std::exception& error) {
        m_log.writeError(QLatin1String(LogPrefix::kArchivedFile) + describeError(error) +
                         QStringLiteral(" (") + QString::number(m_processor.Progress().step()) +
                         u')');
    };
    writer.BeginBatch();
    struct FileResults {
        ResultProcessor& processor;
        explicit FileResults(ResultProcessor& p) : processor(p) { processor.BeginFileResults(); }
        ~FileResults() { processor.EndFileResults(); }
    } fileResults(m_processor);
    try {
        storeAdmissions(storing, root, lists);
    } catch (const std::exception& error) {
        logFailure(error);
    }
    // A ratio that cannot be stored (its series cannot be added to a full disk) ends the ratios
    // only: the batch below still writes the document's values.
    try {
        storeRatios(storing, lists);
    } catch (const std::exception& error) {
        logFailure(error);
    }
    if (!writer.EndBatch())
        m_log.writeLog(QStringLiteral("Values of patient ") +
                       m_processor.Progress().currentPatient().id +
                       QStringLiteral(" not stored: ") + writer.LastError());
    DecimalSeparator::set(m_state.savedDecimalSeparator);
}
