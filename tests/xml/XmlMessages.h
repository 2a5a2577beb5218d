#pragma once

#include <QString>

#include "NamespaceNormalization.h"

// Message and document texts as analyzers send them.
namespace XmlMessages {

inline QString declaration() {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>");
}

inline QString live(bool withVersion = true) {
    return declaration() +
           (withVersion ? QStringLiteral("<Tarvo version=\"1.1\">") : QStringLiteral("<Tarvo>")) +
           QStringLiteral(
               "<MDMeasurement><AdmissionGuid>{5E1}</"
               "AdmissionGuid><Patient><PatientID>19121212-1212"
               "</PatientID><FirstName>Åsa</FirstName><LastName>Öberg</LastName></Patient>"
               "<Analyte>Glucose</Analyte><Unit>µmol/L</Unit><CatheterLocation>CNS"
               "</CatheterLocation><Time>2026-12-08T12:00:00</Time><Concentration>4.25"
               "</Concentration><AttemptNo>2</AttemptNo><Hidden>false</Hidden><VialID>V12</VialID>"
               "<Status>OK</Status><WaterLevel>3</WaterLevel><Offset>-1</Offset><Samples><Sample>10"
               "</Sample><Sample>20</Sample></Samples></MDMeasurement><Connection>Open</Connection>"
               "</Tarvo>");
}

inline QString autoControl(const QString& type) {
    return declaration() +
           QStringLiteral("<Tarvo version=\"1.1\"><AutoControl><Analyte>Lactate</Analyte><Unit>"
                          "mmol/L</Unit><Time>2026-12-08T12:05:00</Time><Concentration>1.5"
                          "</Concentration><AttemptNo>1</AttemptNo><AutoControlSampleType>") +
           type +
           QStringLiteral("</AutoControlSampleType><Result>Pass</Result><Status>OK</Status>"
                          "</AutoControl></Tarvo>");
}

inline QString admission() {
    return declaration() +
           QStringLiteral("<Tarvo version=\"1.1\"><Admission><AdmissionGuid>{A1}</AdmissionGuid>"
                          "<Patient><PatientID>1912</PatientID><FirstName>Åsa</FirstName><LastName>"
                          "Öberg</LastName></Patient><Event><Time>2009-03-17T14:05:33</Time>"
                          "<EventText>Catheter moved</EventText></Event><Event><Time>"
                          "2009-03-17T15:10</Time><EventText>Pump refilled</EventText></Event>"
                          "</Admission></Tarvo>");
}

inline QString eventsDocument() {
    return declaration() +
           QStringLiteral("\r\n<Tarvo version=\"1.0\">\r\n<Events><Patient><PatientID>"
                          "1912</PatientID></Patient><Event><Time>"
                          "2009-03-17T14:05</Time><EventText>Start</EventText>"
                          "</Event></Events>\r\n</Tarvo>\r\n");
}

// A patient data document with the declaration on line 1 and the root tag on line 2.
inline QString patientData(const char* ns, const QString& concentration = QStringLiteral("4,25")) {
    return declaration() + QStringLiteral("\r\n") + PatientDataNamespace::rootStartTag(ns) +
           QStringLiteral("\r\n  <Admission final=\"true\">\r\n    <UniqueID>{U1}</UniqueID>\r\n"
                          "    <Patient><PatientID>1912</PatientID><FirstName>Åsa</FirstName>"
                          "<LastName>Öberg</LastName></Patient>\r\n"
                          "    <Recording Unit=\"mmol/L\"><CatheterLocation>CNS</CatheterLocation>"
                          "<AnalyteCode>Glucose</AnalyteCode><Start>2026-12-08T10:00:00</Start>\r\n"
                          "      <Measurement><TimeStamp>2026-12-08T12:00:00</TimeStamp>"
                          "<Concentration>") +
           concentration +
           QStringLiteral("</Concentration><AttemptNo>1</AttemptNo><Hidden>false</Hidden>"
                          "<VialID>V1</VialID><Status></Status></Measurement>\r\n"
                          "      <Measurement><TimeStamp>2026-12-08T12:20:00</TimeStamp>"
                          "<Concentration>5</Concentration><AttemptNo>2</AttemptNo><VialID>V2"
                          "</VialID><Status>DL</Status></Measurement>\r\n"
                          "    </Recording>\r\n"
                          "    <Recording Unit=\"mmol/L\"><AnalyteCode>Lactate</AnalyteCode>"
                          "</Recording>\r\n  </Admission>\r\n</Tarvo>\r\n");
}

} // namespace XmlMessages
