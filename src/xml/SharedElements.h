#pragma once

#include "TXMLNode.h"

// Element contents that several schemas share; the schema units name them as their own.
class TXMLPatientFields : public TXMLNode {
public:
    using TXMLNode::TXMLNode;
    TARVO_XML_TEXT(PatientID)
    TARVO_XML_TEXT(FirstName)
    TARVO_XML_TEXT(LastName)
};

class TXMLEventFields : public TXMLNode {
public:
    using TXMLNode::TXMLNode;
    TARVO_XML_TEXT(Time)
    TARVO_XML_TEXT(EventText)
};

// The repeated Event elements of an admission message and of an events document.
class TXMLEventFieldsList : public TXMLList<TXMLEventFields> {
public:
    explicit TXMLEventFieldsList(pugi::xml_node parent) : TXMLList(parent, "Event") {}
};
