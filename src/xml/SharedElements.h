#pragma once

#include "TXMLNode.h"

// Element contents that several schemas share. Each schema unit still has its own classes
// (derived from these), as its documents are bound on their own.
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
