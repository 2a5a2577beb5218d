#pragma once

#include "SharedElements.h"
#include "TXMLDocument.h"
#include "TXMLNode.h"

// Live admission messages, which carry the admission's events.
namespace XMLTarvoEventsParser {

class TXMLPatientType : public TXMLPatientFields {
public:
    using TXMLPatientFields::TXMLPatientFields;
};

class TXMLEventType : public TXMLEventFields {
public:
    using TXMLEventFields::TXMLEventFields;
};

class TXMLEventTypeList : public TXMLList<TXMLEventType> {
public:
    explicit TXMLEventTypeList(pugi::xml_node parent) : TXMLList(parent, "Event") {}
};
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
