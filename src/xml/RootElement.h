#pragma once

#include <pugixml.hpp>

class TXMLDocument;

// The root element "Tarvo" (without a namespace) of a loaded document; fails with
// EConvertError when the document's root is another element.
pugi::xml_node RootElement(const TXMLDocument& document);
