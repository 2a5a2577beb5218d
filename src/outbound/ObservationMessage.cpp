#include "ObservationMessage.h"

#include <array>
#include <cmath>

#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

namespace {

struct Analyte {
    const char* name;
    const char* code;
};
// The analytes the analyzers measure and the ratios the collector derives from them.
constexpr std::array kAnalytes{
    Analyte{"Glucose", "GLU"},  Analyte{"Lactate", "LAC"},   Analyte{"Pyruvate", "PYR"},
    Analyte{"Glycerol", "GLY"}, Analyte{"Glutamate", "GLT"}, Analyte{"Urea", "URE"},
    Analyte{"LGRatio", "LGR"},  Analyte{"LPRatio", "LPR"},
};

bool isRatio(const QString& parameter) {
    return parameter.endsWith(QLatin1String("Ratio"), Qt::CaseInsensitive);
}

QString lettersAndDigits(const QString& text) {
    QString kept;
    for (const QChar c : text)
        if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'))
            kept += c.toUpper();
    return kept;
}

// HL7 table 0078 for the stored point's status.
QString abnormalFlag(quint8 status) {
    switch (status) {
    case 1: // under the detection limit
    case 3: // below the reportable range
        return QStringLiteral("<");
    case 2: // over the linearity interval
    case 4: // above the reportable range
        return QStringLiteral(">");
    case 5: // outside the reportable range
        return QStringLiteral("A");
    default:
        return {};
    }
}

QStringList fields(const QString& segment, QChar separator) {
    return segment.split(separator);
}

} // namespace

QString AnalyteCode(const QString& parameter) {
    for (const Analyte& analyte : kAnalytes)
        if (parameter.compare(QLatin1String(analyte.name), Qt::CaseInsensitive) == 0)
            return QLatin1String(analyte.code);
    const QString own = lettersAndDigits(parameter);
    return own.isEmpty() ? QStringLiteral("UNK") : own;
}

ObservationCode ObservationCodeFor(const StoredResult& result) {
    QString kind;
    QString kindText;
    switch (result.kind) {
    case StoredResult::Kind::Control:
        kind = QStringLiteral("QC");
        kindText = QStringLiteral("control");
        break;
    case StoredResult::Kind::Calibration:
        kind = QStringLiteral("CAL");
        kindText = QStringLiteral("calibration");
        break;
    case StoredResult::Kind::Patient:
        kind = isRatio(result.parameter) ? QStringLiteral("RATIO") : QStringLiteral("CONC");
        kindText =
            isRatio(result.parameter) ? QStringLiteral("ratio") : QStringLiteral("concentration");
        break;
    }
    const QString site = lettersAndDigits(result.place);
    ObservationCode code;
    code.code = AnalyteCode(result.parameter) + u'-' +
                (site.isEmpty() ? QStringLiteral("NOSITE") : site) + u'-' + kind;
    code.text = (result.parameter + u' ' + result.place).simplified() + u' ' + kindText;
    return code;
}

QString UcumUnit(const QString& unit, const QString& parameter) {
    if (isRatio(parameter))
        return QStringLiteral("1");
    QString u = unit.trimmed();
    u.replace(QChar(0x00B5), u'u').replace(QChar(0x03BC), u'u');
    // Molar units as the line protocols write them.
    if (u == QLatin1String("mM"))
        return QStringLiteral("mmol/L");
    if (u == QLatin1String("uM"))
        return QStringLiteral("umol/L");
    const QString lower = u.toLower();
    if (lower == QLatin1String("mmol/l"))
        return QStringLiteral("mmol/L");
    if (lower == QLatin1String("umol/l"))
        return QStringLiteral("umol/L");
    if (lower == QLatin1String("mg/dl"))
        return QStringLiteral("mg/dL");
    if (lower == QLatin1String("mg/l"))
        return QStringLiteral("mg/L");
    return u;
}

QString Hl7Escape(const QString& text) {
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            escaped += QLatin1String("\\E\\");
            break;
        case u'|':
            escaped += QLatin1String("\\F\\");
            break;
        case u'^':
            escaped += QLatin1String("\\S\\");
            break;
        case u'&':
            escaped += QLatin1String("\\T\\");
            break;
        case u'~':
            escaped += QLatin1String("\\R\\");
            break;
        default:
            escaped += c.unicode() < 0x20 || c.unicode() == 0x7f ? QChar(u' ') : c;
        }
    }
    return escaped;
}

QString Hl7Time(const QDateTime& time) {
    const int offset = time.offsetFromUtc() / 60;
    const int magnitude = std::abs(offset);
    return time.toString(QStringLiteral("yyyyMMddHHmmss")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1%2")
               .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
               .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}

namespace {

struct MessageSubject {
    const QString& patientId;
    const QString& lastName;
    const QString& firstName;
    const QDateTime& time;
};

// MSH, PID, PV1 and OBR: everything before the observation.
QStringList headerSegments(const MessageSubject& subject, const ReportIdentity& identity,
                           const QString& controlId, const QDateTime& created) {
    const QString application = Hl7Escape(identity.sendingApplication);
    QStringList segments;
    segments << QStringLiteral("MSH|^~\\&|") + application + u'|' +
                    Hl7Escape(identity.sendingFacility) + u'|' +
                    Hl7Escape(identity.receivingApplication) + u'|' +
                    Hl7Escape(identity.receivingFacility) + u'|' + Hl7Time(created) +
                    QStringLiteral("||ORU^R01^ORU_R01|") + Hl7Escape(controlId) +
                    QStringLiteral("|P|2.6|||AL|NE||UNICODE UTF-8|||"
                                   "IHE_PCD_001^IHE PCD^1.3.6.1.4.1.19376.1.6.1.1.1^ISO");
    segments << QStringLiteral("PID|||") + Hl7Escape(subject.patientId) +
                    QStringLiteral("^^^^PI||") + Hl7Escape(subject.lastName) + u'^' +
                    Hl7Escape(subject.firstName) + QStringLiteral("^^^^^L");
    segments << QStringLiteral("PV1||I");
    segments << QStringLiteral("OBR|1|") + Hl7Escape(controlId) + u'^' + application +
                    QStringLiteral("||") + QStringLiteral("MD^Microdialysis^") +
                    QLatin1String(kObservationCodingSystem) + QStringLiteral("|||") +
                    Hl7Time(subject.time);
    return segments;
}

QByteArray joined(const QStringList& segments) {
    return (segments.join(u'\r') + u'\r').toUtf8();
}

} // namespace

QString EquipmentIdentifier(const QString& analyzer) {
    const QString identity = analyzer.trimmed();
    return identity.isEmpty() ? QString()
                              : Hl7Escape(identity) + u'^' + QLatin1String(kEquipmentNamespace);
}

QString ValueKey(double value) {
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QByteArray ObservationMessage(const StoredResult& result, const ReportIdentity& identity,
                              const QString& controlId, const QDateTime& created) {
    if (!std::isfinite(result.value))
        return {};
    const QString sampleTime = Hl7Time(result.time);
    const ObservationCode code = ObservationCodeFor(result);
    const QString unit = UcumUnit(result.unit, result.parameter);
    QStringList segments =
        headerSegments({result.patientId, result.lastName, result.firstName, result.time}, identity,
                       controlId, created);
    QString value = ValueKey(result.value);
    if (value.contains(u'e') || value.contains(u'E'))
        value = QString::number(result.value, 'f', 6);
    segments << QStringLiteral("OBX|1|NM|") + Hl7Escape(code.code) + u'^' + Hl7Escape(code.text) +
                    u'^' + QLatin1String(kObservationCodingSystem) + QStringLiteral("|1.1.1.1|") +
                    value + u'|' + Hl7Escape(unit) + u'^' + Hl7Escape(unit) +
                    QStringLiteral("^UCUM||") + abnormalFlag(result.status) +
                    QStringLiteral("|||F|||") + sampleTime + QStringLiteral("||||") +
                    EquipmentIdentifier(result.analyzer) + QStringLiteral("||") +
                    Hl7Escape(result.place);
    return joined(segments);
}

QByteArray EventMessage(const StoredEvent& event, const ReportIdentity& identity,
                        const QString& controlId, const QDateTime& created) {
    QStringList segments =
        headerSegments({event.patientId, event.lastName, event.firstName, event.time}, identity,
                       controlId, created);
    segments << QStringLiteral("OBX|1|ST|") + QLatin1String(kEventCode) + u'^' +
                    QLatin1String(kEventText) + u'^' + QLatin1String(kObservationCodingSystem) +
                    QStringLiteral("|1.1.1.1|") + Hl7Escape(event.text) +
                    QStringLiteral("||||||F|||") + Hl7Time(event.time) + QStringLiteral("||||") +
                    EquipmentIdentifier(event.analyzer);
    return joined(segments);
}

Acknowledgement ReadAcknowledgement(const QByteArray& message) {
    Acknowledgement ack;
    const QString text = QString::fromUtf8(message);
    QChar separator = u'|';
    QStringList texts;
    static const QRegularExpression lineEnds(QStringLiteral("[\r\n]+"));
    for (const QString& segment : text.split(lineEnds, Qt::SkipEmptyParts)) {
        if (segment.startsWith(QLatin1String("MSH")) && segment.size() > 3)
            separator = segment.at(3);
        if (segment.startsWith(QLatin1String("MSA")) && segment.size() > 3 &&
            segment.at(3) == separator) {
            const QStringList parts = fields(segment, separator);
            ack.code = parts.value(1).trimmed();
            ack.controlId = parts.value(2).trimmed();
            if (!parts.value(3).trimmed().isEmpty())
                texts << parts.value(3).trimmed();
            ack.valid = ack.code.size() == 2;
        } else if (segment.startsWith(QLatin1String("ERR")) && segment.size() > 3) {
            const QStringList parts = fields(segment, separator);
            // ERR-8 (user message), ERR-7 (diagnostic information), ERR-3 (error code).
            for (int index : {8, 7, 3})
                if (!parts.value(index).trimmed().isEmpty()) {
                    texts << parts.value(index).trimmed();
                    break;
                }
        }
    }
    ack.text = texts.join(QStringLiteral("; "));
    return ack;
}
