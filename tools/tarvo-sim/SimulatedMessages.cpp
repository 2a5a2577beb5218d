#include "SimulatedMessages.h"

#include <QStringEncoder>

#include "NamespaceNormalization.h"

namespace SimulatedMessages {

namespace {

QString element(const char* name, const QString& value) {
    return u'<' + QLatin1String(name) + u'>' + value.toHtmlEscaped() + QStringLiteral("</") +
           QLatin1String(name) + u'>';
}

QString xmlTime(const QDateTime& time) {
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

QString number(double value) {
    return QString::number(value, 'f', 3);
}

QString patientElement(const Patient& patient) {
    return QStringLiteral("<Patient>") + element("PatientID", patient.id) +
           element("FirstName", patient.firstName) + element("LastName", patient.lastName) +
           QStringLiteral("</Patient>");
}

const QString kDeclaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-16\"?>");

const char* namespaceOf(int year) {
    switch (year) {
    case 2004:
        return PatientDataNamespace::k2004;
    case 2008:
        return PatientDataNamespace::k2008;
    default:
        return PatientDataNamespace::k2012;
    }
}

} // namespace

QString live(const LiveMeasurement& m) {
    QString text = kDeclaration + QStringLiteral("<Tarvo version=\"1.1\"><MDMeasurement>") +
                   element("AdmissionGuid", QStringLiteral("{LIVE-") + m.patient.id + u'}') +
                   patientElement(m.patient) + element("Analyte", m.analyte) +
                   element("Unit", m.unit) + element("CatheterLocation", m.place) +
                   element("Time", xmlTime(m.time)) + element("Concentration", number(m.value)) +
                   element("AttemptNo", QString::number(m.attemptNo)) +
                   element("Hidden", QStringLiteral("false")) + element("VialID", m.vialId) +
                   element("Status", m.status) + QStringLiteral("</MDMeasurement>");
    if (!m.connection.isEmpty())
        text += element("Connection", m.connection);
    return text + QStringLiteral("</Tarvo>");
}

QString autoControl(const AutoControlResult& r) {
    return kDeclaration + QStringLiteral("<Tarvo version=\"1.1\"><AutoControl>") +
           element("Analyte", r.analyte) + element("Unit", r.unit) +
           element("Time", xmlTime(r.time)) + element("Concentration", number(r.value)) +
           element("AttemptNo", QString::number(r.attemptNo)) +
           element("AutoControlSampleType",
                   r.low ? QStringLiteral("AutoControlLow") : QStringLiteral("AutoControlHigh")) +
           element("Result", QStringLiteral("Pass")) + element("Status", QStringLiteral("OK")) +
           QStringLiteral("</AutoControl></Tarvo>");
}

QString admission(const Patient& patient, const std::vector<Event>& events) {
    QString text = kDeclaration + QStringLiteral("<Tarvo version=\"1.1\"><Admission>") +
                   element("AdmissionGuid", QStringLiteral("{ADM-") + patient.id + u'}') +
                   patientElement(patient);
    for (const Event& event : events)
        text += QStringLiteral("<Event>") + element("Time", xmlTime(event.time)) +
                element("EventText", event.text) + QStringLiteral("</Event>");
    return text + QStringLiteral("</Admission></Tarvo>");
}

QString patientData(const PatientDocument& d) {
    QString text = kDeclaration + QStringLiteral("\r\n") +
                   PatientDataNamespace::rootStartTag(namespaceOf(d.schemaYear)) +
                   QStringLiteral("\r\n  <Admission final=\"false\">\r\n    ") +
                   element("UniqueID", d.uniqueId) + QStringLiteral("\r\n    ") +
                   element("AdmissionDate", xmlTime(d.start)) + patientElement(d.patient) +
                   QStringLiteral("\r\n");
    const int series = int(d.analytes.size() * d.places.size());
    const int perSeries = series == 0 ? 0 : d.measurements / series;
    int extra = series == 0 ? 0 : d.measurements % series;
    for (const QString& place : d.places) {
        for (const QString& analyte : d.analytes) {
            const int count = perSeries + (extra-- > 0 ? 1 : 0);
            text += QStringLiteral("    <Recording Unit=\"mmol/L\">") +
                    element("CatheterLocation", place) + element("AnalyteCode", analyte) +
                    element("Start", xmlTime(d.start)) + QStringLiteral("\r\n");
            for (int i = 0; i < count; ++i) {
                const int n = d.firstValue + i;
                text +=
                    QStringLiteral("      <Measurement>") +
                    element("TimeStamp", xmlTime(d.start.addSecs(qint64(d.intervalSeconds) * i))) +
                    element("Concentration", QString::number(1 + (n % 50) / 10.0, 'f', 2)) +
                    element("AttemptNo", QStringLiteral("1")) +
                    element("VialID", QStringLiteral("A%1").arg(1 + n % 20)) +
                    element("Status", QString()) + QStringLiteral("</Measurement>\r\n");
            }
            text += QStringLiteral("    </Recording>\r\n");
        }
    }
    return text + QStringLiteral("  </Admission>\r\n</Tarvo>\r\n");
}

QString recordMessage(const Patient& patient, const QString& analyte, double value,
                      const QString& unit, const QDateTime& time) {
    const QString stamp = time.toString(QStringLiteral("yyyyMMddHHmmss"));
    return QStringLiteral("H|\\^~&|||TARVOflex^SIM001||||||||1.0|") + stamp +
           QStringLiteral("\r\nP|||") + patient.id + QStringLiteral("||") + patient.lastName +
           u'^' + patient.firstName + QStringLiteral("\r\nO|||Sample #^A1||||") + stamp.left(12) +
           QStringLiteral("||||||||MD Sample^CNS\r\nR||^^^") + analyte + QStringLiteral("^|") +
           number(value) + u'|' + unit + QStringLiteral("||||OK|||") + stamp +
           QStringLiteral("\r\nL|1|N\r\n") + QChar(4) + QStringLiteral("\r\n");
}

QByteArray utf16(const QString& text) {
    return QStringEncoder(QStringEncoder::Utf16LE)(text);
}

std::vector<QByteArray> randomPieces(const QByteArray& bytes, std::mt19937& random, int maxPiece) {
    std::uniform_int_distribution<int> size(1, std::max(1, maxPiece));
    std::vector<QByteArray> pieces;
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype length = std::min<qsizetype>(size(random), bytes.size() - at);
        pieces.push_back(bytes.mid(at, length));
        at += length;
    }
    return pieces;
}

} // namespace SimulatedMessages
