#pragma once

#include "SharedElements.h"
#include "TXMLDocument.h"
#include "TXMLNode.h"

// The live messages an analyzer sends while it runs: patient sample results, control samples,
// automatic control results and admission records.
namespace XMLTarvoLiveParser {

class TXMLPatientType : public TXMLPatientFields {
public:
    using TXMLPatientFields::TXMLPatientFields;
};

// Repeated "Sample" elements, each one integer.
class TXMLSamples : public TXMLNodeCollection {
public:
    explicit TXMLSamples(pugi::xml_node element) : TXMLNodeCollection(element, "Sample") {}
    int Get_Sample(int index) const;
    void Add(int value);
    void Insert(int index, int value);
};

// Concentration reads with a decimal point whatever the system says; a text that does not
// convert reads as 0.
#define TARVO_XML_LIVE_CONCENTRATION                                                               \
    double Get_Concentration() const;                                                              \
    void Set_Concentration(double value);

class TXMLMDMeasurement : public TXMLNode {
public:
    using TXMLNode::TXMLNode;
    TARVO_XML_TEXT(AdmissionGuid)
    TARVO_XML_CHILD(TXMLPatientType, Patient)
    TARVO_XML_TEXT(Analyte)
    TARVO_XML_TEXT(Unit)
    TARVO_XML_TEXT(CatheterLocation)
    TARVO_XML_TEXT(Time)
    TARVO_XML_LIVE_CONCENTRATION
    TARVO_XML_INTEGER(AttemptNo)
    TARVO_XML_BOOLEAN(Hidden)
    TARVO_XML_TEXT(VialID)
    TARVO_XML_TEXT(Status)
    TARVO_XML_INTEGER(WaterLevel)
    TARVO_XML_INTEGER(Offset)
    TARVO_XML_CHILD(TXMLSamples, Samples)
};

class TXMLControlSample : public TXMLNode {
public:
    using TXMLNode::TXMLNode;
    TARVO_XML_TEXT(RackCode)
    TARVO_XML_TEXT(Analyte)
    TARVO_XML_TEXT(Unit)
    TARVO_XML_TEXT(Time)
    TARVO_XML_LIVE_CONCENTRATION
    TARVO_XML_INTEGER(AttemptNo)
    TARVO_XML_TEXT(Status)
};

class TXMLAutoControl : public TXMLNode {
public:
    using TXMLNode::TXMLNode;
    TARVO_XML_TEXT(Analyte)
    TARVO_XML_TEXT(Unit)
    TARVO_XML_TEXT(Time)
    TARVO_XML_LIVE_CONCENTRATION
    TARVO_XML_INTEGER(AttemptNo)
    TARVO_XML_TEXT(AutoControlSampleType)
    TARVO_XML_TEXT(Result)
    TARVO_XML_TEXT(Status)
};

class TXMLAdmission : public TXMLNode {
public:
    using TXMLNode::TXMLNode;
    TARVO_XML_TEXT(AdmissionGuid)
    TARVO_XML_CHILD(TXMLPatientType, Patient)
};

class TXMLTarvo : public TXMLNode {
public:
    using TXMLNode::TXMLNode;
    TARVO_XML_ATTRIBUTE(version)
    TARVO_XML_CHILD(TXMLMDMeasurement, MDMeasurement)
    TARVO_XML_CHILD(TXMLControlSample, ControlSample)
    TARVO_XML_CHILD(TXMLAutoControl, AutoControl)
    TARVO_XML_CHILD(TXMLAdmission, Admission)
    TARVO_XML_TEXT(Connection)
};

#undef TARVO_XML_LIVE_CONCENTRATION

// The document's root element "Tarvo" bound to this unit's root class.
TXMLTarvo GetTarvo(const TXMLDocument& document);

} // namespace XMLTarvoLiveParser
