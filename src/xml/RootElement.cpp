#include "RootElement.h"

#include <cstring>

#include "TXMLDocument.h"
#include "XmlErrors.h"

pugi::xml_node RootElement(const TXMLDocument& document) {
    const pugi::xml_node root = document.DocumentElement();
    if (!root || std::strcmp(root.name(), "Tarvo") != 0 || root.attribute("xmlns"))
        throw EConvertError(QStringLiteral("The document's root is not the element Tarvo"));
    return root;
}
