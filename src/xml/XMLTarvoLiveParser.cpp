#include "XMLTarvoLiveParser.h"

#include "DecimalText.h"
#include "RootElement.h"

namespace XMLTarvoLiveParser {

int TXMLSamples::Get_Sample(int index) const {
    return TXMLNode(ItemElement(index)).Text().toInt();
}

void TXMLSamples::Add(int value) {
    AddElement().text().set(value);
}

void TXMLSamples::Insert(int index, int value) {
    InsertElement(index).text().set(value);
}

#define TARVO_XML_LIVE_CONCENTRATION_OF(Class)                                                     \
    double Class::Get_Concentration() const {                                                      \
        return DecimalText::readLiveConcentration(ChildText("Concentration"));                     \
    }                                                                                              \
    void Class::Set_Concentration(double value) {                                                  \
        SetChildText("Concentration", DecimalText::format(value));                                 \
    }

TARVO_XML_LIVE_CONCENTRATION_OF(TXMLMDMeasurement)
TARVO_XML_LIVE_CONCENTRATION_OF(TXMLControlSample)
TARVO_XML_LIVE_CONCENTRATION_OF(TXMLAutoControl)

TXMLTarvo GetTarvo(const TXMLDocument& document) {
    return TXMLTarvo(RootElement(document));
}

} // namespace XMLTarvoLiveParser
