#pragma once

#include <QDateTime>

#include "SharedElements.h"
#include "TXMLDocument.h"
#include "TXMLNode.h"

// Patient-data documents: whole admissions with their recordings and measurements, in the 2004,
// 2008 and 2012 schemas (read without their namespace).
namespace XMLTarvoParser {

class TXMLPatient : public TXMLPatientFields {
public:
    using TXMLPatientFields::TXMLPatientFields;
};

class TXMLMeasurement : public TXMLNode {
public:
    using TXMLNode::TXMLNode;
    TARVO_XML_TEXT(TimeStamp)
    // The time stamp as a local time when it has the plain form "yyyy-MM-ddThh:mm:ss" and is a
    // possible date and time; invalid otherwise.
    QDateTime PlainTimeStamp() const;
    // A decimal comma or point; a text that does not convert fails with EConvertError.
    double Get_Concentration() const;
    void Set_Concentration(double value);
    TARVO_XML_INTEGER(AttemptNo)
    TARVO_XML_BOOLEAN(Hidden)
    TARVO_XML_TEXT(VialID)
    // An empty status reads, and is stored, as "OK".
    QString Get_Status() const;
    void Set_Status(const QString& value);
};

class TXMLMeasurementList : public TXMLList<TXMLMeasurement> {
public:
    explicit TXMLMeasurementList(pugi::xml_node recording) : TXMLList(recording, "Measurement") {}
};
using IXMLMeasurementList = TXMLMeasurementList;

class TXMLRecording : public TXMLNode {
public:
    using TXMLNode::TXMLNode;
    TARVO_XML_ATTRIBUTE(Unit)
    TARVO_XML_TEXT(CatheterLocation)
    TARVO_XML_TEXT(AnalyteCode)
    TARVO_XML_TEXT(Start)
    TARVO_XML_LIST(TXMLMeasurementList, Measurement)
};

class TXMLRecordingList : public TXMLList<TXMLRecording> {
public:
    explicit TXMLRecordingList(pugi::xml_node admission) : TXMLList(admission, "Recording") {}
};
using IXMLRecordingList = TXMLRecordingList;

class TXMLAdmission : public TXMLNode {
public:
    using TXMLNode::TXMLNode;
    TARVO_XML_ATTRIBUTE(final)
    TARVO_XML_ATTRIBUTE(dataHasBeenReduced)
    TARVO_XML_TEXT(UniqueID)
    TARVO_XML_TEXT(Machine)
    TARVO_XML_TEXT(AdmissionDate)
    TARVO_XML_TEXT(AdmissionEndDate)
    TARVO_XML_TEXT(AdmissionNote)
    TARVO_XML_CHILD(TXMLPatient, Patient)
    TARVO_XML_LIST(TXMLRecordingList, Recording)
};

// The root is itself the list of admissions.
class TXMLTarvo : public TXMLList<TXMLAdmission> {
public:
    explicit TXMLTarvo(pugi::xml_node root) : TXMLList(root, "Admission") {}
    TARVO_XML_ATTRIBUTE(version)
};

TXMLTarvo GetTarvo(const TXMLDocument& document);

} // namespace XMLTarvoParser
