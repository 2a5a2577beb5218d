#pragma once

#include "SharedElements.h"
#include "TXMLDocument.h"
#include "TXMLNode.h"

// Live admission messages, which carry the admission's events.
namespace XMLTarvoEventsParser {

// The patient and the events are bound as in the other events schema.
using TXMLPatientType = TXMLPatientFields;
using TXMLEventType = TXMLEventFields;
using TXMLEventTypeList = TXMLEventFieldsList;
using IXMLEventTypeList = TXMLEventTypeList;

class TXMLAdmissionType : public TXMLNode {
public:
    using TXMLNode::TXMLNode;
    TARVO_XML_TEXT(AdmissionGuid)
    TARVO_XML_CHILD(TXMLPatientType, Patient)
    TARVO_XML_LIST(TXMLEventTypeList, Event)
};

class TXMLTarvoType : public TXMLNode {
public:
    using TXMLNode::TXMLNode;
    TARVO_XML_ATTRIBUTE(version)
    TARVO_XML_CHILD(TXMLAdmissionType, Admission)
};

TXMLTarvoType GetTarvo(const TXMLDocument& document);

} // namespace XMLTarvoEventsParser
