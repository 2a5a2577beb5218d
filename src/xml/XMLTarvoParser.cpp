#include "XMLTarvoParser.h"

#include "DecimalText.h"
#include "PlainTime.h"
#include "RootElement.h"

namespace XMLTarvoParser {

double TXMLMeasurement::Get_Concentration() const {
    return DecimalText::readDocumentConcentration(ChildElement("Concentration").child_value());
}

QDateTime TXMLMeasurement::PlainTimeStamp() const {
    return LocalTimeFromPlainText(ChildElement("TimeStamp").child_value());
}

void TXMLMeasurement::Set_Concentration(double value) {
    SetChildText("Concentration", DecimalText::format(value));
}

QString TXMLMeasurement::Get_Status() const {
    const QString status = ChildText("Status");
    return status.isEmpty() ? QStringLiteral("OK") : status;
}

void TXMLMeasurement::Set_Status(const QString& value) {
    SetChildText("Status", value.isEmpty() ? QStringLiteral("OK") : value);
}

TXMLTarvo GetTarvo(const TXMLDocument& document) {
    return TXMLTarvo(RootElement(document));
}

} // namespace XMLTarvoParser
