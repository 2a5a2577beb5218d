#include "Export.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include "OleDateTime.h"
#include "TParameterSerie.h"
#include "ZelTypes.h"

namespace Export {

namespace {

struct Row {
    const TParameterSerie* serie;
    const TTarvoDataPoint* point;
};

// Every result point, in time order; points of one time keep their file order, points without a
// usable time come last.
std::vector<Row> rowsOf(const TStoredFileContent& content) {
    std::vector<Row> rows;
    for (const TParameterSerie* serie : content.series()) {
        if (!serie->Points)
            continue;
        for (const TSeriesPoint& point : serie->Points->Points) {
            if (const auto* data = std::get_if<TTarvoDataPoint>(&point))
                rows.push_back({serie, data});
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        const bool aDated = std::isfinite(a.point->X);
        const bool bDated = std::isfinite(b.point->X);
        if (aDated != bDated)
            return aDated;
        return aDated && a.point->X < b.point->X;
    });
    return rows;
}

QString parameterText(const TParameterSerie& serie) {
    const QString extra = serie.Identity.ParamExtraName();
    return extra.isEmpty() ? serie.Identity.ParameterName()
                           : serie.Identity.ParameterName() + u' ' + extra;
}

QString statusText(const TTarvoDataPoint& point) {
    return point.AnalyseResultString.isEmpty() ? analyseResultName(point.AnalyseResult)
                                               : point.AnalyseResultString;
}

// The marker that ratio series store for a ratio that could not be formed.
constexpr double kInvalidRatio = 1e10;

bool isRatio(const TParameterSerie& serie) {
    return serie.Identity.ParameterName().endsWith(QLatin1String("Ratio"), Qt::CaseInsensitive);
}

bool hasValue(const Row& row) {
    return std::isfinite(row.point->Y) && !(isRatio(*row.serie) && row.point->Y == kInvalidRatio);
}

QString numberText(double value, QChar decimalMark) {
    if (!std::isfinite(value))
        return {};
    QString text = QLocale::c().toString(value, 'g', QLocale::FloatingPointShortest);
    if (decimalMark != u'.')
        text.replace(u'.', decimalMark);
    return text;
}

QString csvField(QString text, QChar separator, bool isText) {
    // A spreadsheet runs text beginning like a formula; an apostrophe keeps it text.
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (isText && !text.isEmpty() && formulaStarts.contains(text.front()))
        text.prepend(u'\'');
    if (text.contains(separator) || text.contains(u'"') || text.contains(u'\n') ||
        text.contains(u'\r')) {
        text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        text = u'"' + text + u'"';
    }
    return text;
}

QString patientIdOf(const TStoredFileContent& content) {
    for (const TMonitorInfo* monitor : content.monitors()) {
        if (!monitor->PatientID.isEmpty())
            return monitor->PatientID;
    }
    return content.patientId;
}

QString patientNameOf(const TStoredFileContent& content) {
    for (const TMonitorInfo* monitor : content.monitors()) {
        if (!monitor->PatientName.isEmpty())
            return monitor->PatientName;
    }
    return content.patientName;
}

// FHIR allows no empty strings: a member whose text is empty is left out.
void setText(QJsonObject& object, const QString& key, const QString& text) {
    const QString trimmed = text.trimmed();
    if (!trimmed.isEmpty())
        object.insert(key, trimmed);
}

QJsonObject deviceOf(const TStoredFileContent& content) {
    QJsonObject device;
    const std::vector<const TMonitorInfo*> monitors = content.monitors();
    if (monitors.empty())
        return device;
    setText(device, QStringLiteral("display"), monitors.front()->MonitorName);
    if (!monitors.front()->MonitorIdentity.trimmed().isEmpty()) {
        QJsonObject identifier;
        setText(identifier, QStringLiteral("value"), monitors.front()->MonitorIdentity);
        device.insert(QStringLiteral("identifier"), identifier);
    }
    return device;
}

QJsonObject quantityOf(const Row& row) {
    QJsonObject quantity;
    quantity.insert(QStringLiteral("value"), row.point->Y);
    // A value the analyzer could only bound is given with its comparator.
    switch (TAnalyseResult(row.point->AnalyseResult)) {
    case TAnalyseResult::arUnderDetectionLimit:
    case TAnalyseResult::arBelowReportableRange:
        quantity.insert(QStringLiteral("comparator"), QStringLiteral("<"));
        break;
    case TAnalyseResult::arOverLinearityInterval:
    case TAnalyseResult::arAboveReportableRange:
        quantity.insert(QStringLiteral("comparator"), QStringLiteral(">"));
        break;
    default:
        break;
    }
    const QString unit = row.serie->Unit.trimmed();
    const QString code =
        unit.isEmpty() && isRatio(*row.serie) ? QStringLiteral("1") : ucumUnit(unit);
    setText(quantity, QStringLiteral("unit"),
            unit.isEmpty() && !code.isEmpty() ? QStringLiteral("ratio") : unit);
    if (!code.isEmpty()) {
        quantity.insert(QStringLiteral("system"), QStringLiteral("http://unitsofmeasure.org"));
        quantity.insert(QStringLiteral("code"), code);
    }
    return quantity;
}

constexpr auto kCategorySystem = "http://terminology.hl7.org/CodeSystem/observation-category";
constexpr auto kAbsentReasonSystem = "http://terminology.hl7.org/CodeSystem/data-absent-reason";

// A CodeableConcept of one coding.
QJsonObject codeableConcept(const char* system, const QString& code, const QString& display) {
    const QJsonObject coding{{QStringLiteral("system"), QLatin1String(system)},
                             {QStringLiteral("code"), code},
                             {QStringLiteral("display"), display}};
    return QJsonObject{{QStringLiteral("coding"), QJsonArray{coding}}};
}

QJsonObject codeOf(const Row& row) {
    QJsonObject code;
    setText(code, QStringLiteral("text"), parameterText(*row.serie));
    if (code.isEmpty())
        code.insert(QStringLiteral("text"), QStringLiteral("unnamed parameter"));
    return code;
}

// The patient by identifier and name; empty when neither is known.
QJsonObject subjectOf(const QString& patientId, const QString& patientName) {
    QJsonObject subject;
    if (!patientId.trimmed().isEmpty()) {
        QJsonObject identifier;
        setText(identifier, QStringLiteral("value"), patientId);
        subject.insert(QStringLiteral("identifier"), identifier);
    }
    setText(subject, QStringLiteral("display"), patientName);
    return subject;
}

// The value, or why there is none.
void insertValue(QJsonObject& observation, const Row& row) {
    if (hasValue(row))
        observation.insert(QStringLiteral("valueQuantity"), quantityOf(row));
    else
        observation.insert(
            QStringLiteral("dataAbsentReason"),
            codeableConcept(kAbsentReasonSystem, QStringLiteral("error"), QStringLiteral("Error")));
}

// The analyzer's status text as a note, the site as the body site, the analyzer as the device.
void insertContext(QJsonObject& observation, const Row& row, const QJsonObject& device) {
    const QString status = row.point->AnalyseResultString.trimmed();
    if (!status.isEmpty())
        observation.insert(QStringLiteral("note"),
                           QJsonArray{QJsonObject{{QStringLiteral("text"),
                                                   QStringLiteral("Analyzer status: ") + status}}});
    QJsonObject site;
    setText(site, QStringLiteral("text"), row.serie->Identity.MeasurementPlace());
    if (!site.isEmpty())
        observation.insert(QStringLiteral("bodySite"), site);
    if (!device.isEmpty())
        observation.insert(QStringLiteral("device"), device);
}

QJsonObject observationOf(const Row& row, const QString& patientId, const QString& patientName,
                          const QJsonObject& device) {
    QJsonObject observation;
    observation.insert(QStringLiteral("resourceType"), QStringLiteral("Observation"));
    observation.insert(QStringLiteral("status"), QStringLiteral("final"));
    observation.insert(QStringLiteral("category"),
                       QJsonArray{codeableConcept(kCategorySystem, QStringLiteral("laboratory"),
                                                  QStringLiteral("Laboratory"))});
    observation.insert(QStringLiteral("code"), codeOf(row));
    const QJsonObject subject = subjectOf(patientId, patientName);
    if (!subject.isEmpty())
        observation.insert(QStringLiteral("subject"), subject);
    setText(observation, QStringLiteral("effectiveDateTime"), isoTime(row.point->X));
    insertValue(observation, row);
    insertContext(observation, row, device);
    return observation;
}

} // namespace

CsvFormat CsvFormat::forLocale(const QLocale& locale) {
    CsvFormat format;
    const QString decimal = locale.decimalPoint();
    if (decimal == QLatin1String(",")) {
        format.decimalMark = u',';
        format.separator = u';';
    }
    return format;
}

QString isoTime(double days) {
    const QDateTime time = OleDateTime::toDateTime(days);
    if (!time.isValid() || time.date().year() < 1 || time.date().year() > 9999)
        return {};
    QString text = time.toString(time.time().msec() != 0 ? QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")
                                                         : QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    text += QStringLiteral("%1%2:%3")
                .arg(QChar(offset < 0 ? u'-' : u'+'))
                .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                .arg(minutes % 60, 2, 10, QLatin1Char('0'));
    return text;
}

QString ucumUnit(const QString& unit) {
    QString key = unit.trimmed().toLower();
    key.replace(QChar(0x00B5), u'u'); // micro sign
    key.replace(QChar(0x03BC), u'u'); // Greek mu
    if (key == QLatin1String("mm") || key == QLatin1String("mmol/l"))
        return QStringLiteral("mmol/L");
    if (key == QLatin1String("um") || key == QLatin1String("umol/l"))
        return QStringLiteral("umol/L");
    if (key == QLatin1String("nm") || key == QLatin1String("nmol/l"))
        return QStringLiteral("nmol/L");
    if (key == QLatin1String("mg/dl"))
        return QStringLiteral("mg/dL");
    if (key == QLatin1String("g/l"))
        return QStringLiteral("g/L");
    if (key == QLatin1String("%"))
        return QStringLiteral("%");
    return {};
}

qsizetype pointCount(const TStoredFileContent& content) {
    return qsizetype(rowsOf(content).size());
}

QByteArray csv(const TStoredFileContent& content, const CsvFormat& format) {
    const QChar separator = format.separator;
    QString text = QStringLiteral("\uFEFF");
    const QStringList header = {QStringLiteral("Time"),  QStringLiteral("Parameter"),
                                QStringLiteral("Site"),  QStringLiteral("Unit"),
                                QStringLiteral("Value"), QStringLiteral("Status")};
    text += header.join(separator) + QStringLiteral("\r\n");
    for (const Row& row : rowsOf(content)) {
        const QStringList fields = {
            csvField(isoTime(row.point->X), separator, false),
            csvField(parameterText(*row.serie), separator, true),
            csvField(row.serie->Identity.MeasurementPlace(), separator, true),
            csvField(row.serie->Unit, separator, true),
            csvField(numberText(row.point->Y, format.decimalMark), separator, false),
            csvField(statusText(*row.point), separator, true)};
        text += fields.join(separator) + QStringLiteral("\r\n");
    }
    return text.toUtf8();
}

QByteArray fhir(const TStoredFileContent& content, const QDateTime& exportedAt) {
    const QString patientId = patientIdOf(content);
    const QString patientName = patientNameOf(content);
    const QJsonObject device = deviceOf(content);
    // Entry identities stay the same when the same file is exported again.
    const QUuid space = QUuid::createUuidV5(QUuid(), QStringLiteral("tarvo-pil export"));
    QJsonArray entries;
    for (const Row& row : rowsOf(content)) {
        const QString key = QStringLiteral("%1/%2/%3/%4")
                                .arg(patientId)
                                .arg(row.serie->Index)
                                .arg(row.point->RecordOffset)
                                .arg(row.point->X, 0, 'g', 17);
        QJsonObject entry;
        entry.insert(QStringLiteral("fullUrl"),
                     QStringLiteral("urn:uuid:") +
                         QUuid::createUuidV5(space, key).toString(QUuid::WithoutBraces));
        entry.insert(QStringLiteral("resource"),
                     observationOf(row, patientId, patientName, device));
        entries.append(entry);
    }
    QJsonObject bundle;
    bundle.insert(QStringLiteral("resourceType"), QStringLiteral("Bundle"));
    bundle.insert(QStringLiteral("type"), QStringLiteral("collection"));
    bundle.insert(QStringLiteral("timestamp"), exportedAt.toUTC().toString(Qt::ISODate));
    if (!entries.isEmpty())
        bundle.insert(QStringLiteral("entry"), entries);
    return QJsonDocument(bundle).toJson(QJsonDocument::Indented);
}

} // namespace Export
