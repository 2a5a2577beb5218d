#pragma once

#include <random>
#include <vector>

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// The texts an analyzer sends, for the simulator, the tests and the benchmarks.
namespace SimulatedMessages {

struct Patient {
    QString id;
    QString firstName;
    QString lastName;
};

struct LiveMeasurement {
    Patient patient;
    QString analyte = QStringLiteral("Glucose");
    QString unit = QStringLiteral("mmol/L");
    QString place = QStringLiteral("CNS");
    QDateTime time;
    double value = 0;
    int attemptNo = 1;
    QString vialId = QStringLiteral("A1");
    QString status = QStringLiteral("OK");
    QString connection = QStringLiteral("Open"); // "Open", "Closed" or empty (left out)
};

struct AutoControlResult {
    bool low = true; // "AutoControlLow", otherwise "AutoControlHigh"
    QString analyte = QStringLiteral("Glucose");
    QString unit = QStringLiteral("mmol/L");
    QDateTime time;
    double value = 0;
    int attemptNo = 1;
};

struct Event {
    QDateTime time;
    QString text;
};

// A patient-data document of one admission: every analyte measured at every place at a fixed
// interval. Lactate, glucose and pyruvate at the same time and place form ratios.
struct PatientDocument {
    int schemaYear = 2012; // 2004, 2008 or 2012 (the namespace of the root)
    Patient patient;
    QString uniqueId = QStringLiteral("{ADM-1}");
    QStringList analytes = {QStringLiteral("Glucose"), QStringLiteral("Lactate"),
                            QStringLiteral("Pyruvate")};
    QStringList places = {QStringLiteral("CNS")};
    int measurements = 12; // in all, spread over the analytes and places
    QDateTime start;
    int intervalSeconds = 600;
    int firstValue = 0; // shifts the values so that two documents differ
};

QString live(const LiveMeasurement& measurement);
QString autoControl(const AutoControlResult& result);
QString admission(const Patient& patient, const std::vector<Event>& events);
QString patientData(const PatientDocument& document);
// One result in record lines (header, patient, order, result, terminator) ended by EOT, as the
// line protocols send it.
QString recordMessage(const Patient& patient, const QString& analyte, double value,
                      const QString& unit, const QDateTime& time);

// The text as an analyzer sends XML: UTF-16 little-endian without a byte-order mark.
QByteArray utf16(const QString& text);
// The bytes cut into pieces of 1 to maxPiece bytes.
std::vector<QByteArray> randomPieces(const QByteArray& bytes, std::mt19937& random,
                                     int maxPiece = 700);

} // namespace SimulatedMessages
