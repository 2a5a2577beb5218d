#pragma once

#include "TarvoError.h"

// A text that is not well-formed XML, or too large to be read; the message names the parser's
// complaint and where it stands.
class EXmlParseError : public TarvoError {
public:
    using TarvoError::TarvoError;
};

// A document file that cannot be opened or read at all (as opposed to one that is read but is
// not well-formed).
class EXmlFileUnreadable : public EXmlParseError {
public:
    using EXmlParseError::EXmlParseError;
};

// A typed read of an element whose text does not convert.
class EConvertError : public TarvoError {
public:
    using TarvoError::TarvoError;
};
