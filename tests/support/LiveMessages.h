#pragma once

#include <QByteArray>
#include <QString>

// A live result as an analyzer sends it: one Glucose value of 2.5 µmol/L for the patient, with
// names that need more than ASCII, declared in the encoding given.
inline QString liveMessage(const QString& patientId,
                           const QString& encoding = QStringLiteral("utf-16")) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"") + encoding +
           QStringLiteral("\"?><Tarvo version=\"1.1\"><MDMeasurement><Patient><PatientID>") +
           patientId +
           QStringLiteral("</PatientID><FirstName>Åsa</FirstName><LastName>Öberg</LastName>"
                          "</Patient><Analyte>Glucose</Analyte><Unit>µmol/L</Unit>"
                          "<Time>2026-12-08T12:00:00</Time><Concentration>2.5</Concentration>"
                          "<AttemptNo>1</AttemptNo></MDMeasurement></Tarvo>");
}

// The text as UTF-16 bytes in the machine's order, as the analyzer puts them on the wire.
inline QByteArray utf16Bytes(const QString& text) {
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}
