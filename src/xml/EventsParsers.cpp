#include "RootElement.h"
#include "XMLTarvoEventsFromFileParser.h"
#include "XMLTarvoEventsParser.h"

XMLTarvoEventsParser::TXMLTarvoType XMLTarvoEventsParser::GetTarvo(const TXMLDocument& document) {
    return TXMLTarvoType(RootElement(document));
}

XMLTarvoEventsFromFileParser::TXMLTarvoType
XMLTarvoEventsFromFileParser::GetTarvo(const TXMLDocument& document) {
    return TXMLTarvoType(RootElement(document));
}
