#pragma once

#include "SharedElements.h"
#include "TXMLDocument.h"
#include "TXMLNode.h"

// Events documents, as they stand in a patient's archive or on external media.
namespace XMLTarvoEventsFromFileParser {

// The patient and the events are bound as in the other events schema.
using TXMLPatientType = TXMLPatientFields;
using TXMLEventType = TXMLEventFields;
using TXMLEventTypeList = TXMLEventFieldsList;
using IXMLEventTypeList = TXMLEventTypeList;

class TXMLEventsType : public TXMLNode {
public:
    using TXMLNode::TXMLNode;
    TARVO_XML_CHILD(TXMLPatientType, Patient)
    TARVO_XML_LIST(TXMLEventTypeList, Event)
};

class TXMLTarvoType : public TXMLNode {
public:
    using TXMLNode::TXMLNode;
    TARVO_XML_ATTRIBUTE(version)
    TARVO_XML_CHILD(TXMLEventsType, Events)
};

TXMLTarvoType GetTarvo(const TXMLDocument& document);

} // namespace XMLTarvoEventsFromFileParser
