#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "StoredResult.h"

// Who sends a report and to whom (the MSH header's applications and facilities).
struct ReportIdentity {
    QString sendingApplication;
    QString sendingFacility;
    QString receivingApplication;
    QString receivingFacility;
};

// The observation identifier of a result (OBX-3), from the mapping table: the analyte, the site
// and the kind of value, in the local coding system kObservationCodingSystem.
struct ObservationCode {
    QString code; // "GLU-CNS-CONC"
    QString text; // "Glucose CNS concentration"
};
inline constexpr auto kObservationCodingSystem = "99TVO";
// The observation identifier of an event (OBX-3, an OBX of type ST holding the event's text).
inline constexpr auto kEventCode = "EVENT";
inline constexpr auto kEventText = "Event";
// The namespace of the analyzer's identity in the equipment instance identifier (OBX-18).
inline constexpr auto kEquipmentNamespace = "Tarvo";

// The analyte's short name in the mapping table ("Glucose": "GLU"); an analyte the table does
// not know keeps its letters and digits, upper-cased.
QString AnalyteCode(const QString& parameter);
ObservationCode ObservationCodeFor(const StoredResult& result);
// The unit in UCUM ("mmol/l": "mmol/L", "µmol/l": "umol/L"; a ratio: "1").
QString UcumUnit(const QString& unit, const QString& parameter);
// Text made safe for a field: the delimiters become escape sequences, control characters blanks.
QString Hl7Escape(const QString& text);
// "yyyyMMddHHmmss" and the offset from UTC ("+0100").
QString Hl7Time(const QDateTime& time);

// The equipment instance identifier (OBX-18) of an analyzer: its identity and the namespace
// kEquipmentNamespace; empty when the analyzer is not known.
QString EquipmentIdentifier(const QString& analyzer);
// A value as the report queue remembers it: the shortest text that reads back as the same number.
QString ValueKey(double value);

// One device observation message (ORU^R01, HL7 v2.6, PCD-01 form) for one stored result,
// segments ended by CR, in UTF-8. Empty when the value is no number (not a finite double).
QByteArray ObservationMessage(const StoredResult& result, const ReportIdentity& identity,
                              const QString& controlId, const QDateTime& created);
// The same for one stored event: its text in an OBX of type ST, at the event's time.
QByteArray EventMessage(const StoredEvent& event, const ReportIdentity& identity,
                        const QString& controlId, const QDateTime& created);

// What an acknowledgement says (MSA): its code ("AA", "AE", "AR", or "CA", "CE", "CR"), the
// control ID it answers and the engine's text (MSA-3 and the ERR segments' texts).
struct Acknowledgement {
    bool valid = false;
    QString code;
    QString controlId;
    QString text;
    bool accepted() const { return code == QLatin1String("AA") || code == QLatin1String("CA"); }
};
Acknowledgement ReadAcknowledgement(const QByteArray& message);
