#pragma once

#include <QString>

// Decimal numbers in analyzer texts, read against the process-wide decimal separator.
namespace DecimalText {

// Converts a text whose decimal separator is the given one (no thousands separators).
bool convert(const QString& text, QChar separator, double& value);

// The number as text with the current process-wide decimal separator.
QString format(double value);

// Live messages: the separator becomes "." (and stays so until the message is handled); a text
// that does not convert reads as 0.
double readLiveConcentration(const QString& text);

// Patient-data documents: the first "other" separator (a "," while the separator is ".", a "."
// while it is ",") is replaced by the separator; a text that still does not convert fails with
// EConvertError.
double readDocumentConcentration(const QString& text);
// The same for a document's UTF-8 text: a plain number ("12.34", "-0,5", "7") is read from the
// bytes; any other text is read as above, with the same result or error.
double readDocumentConcentration(const char* utf8);

} // namespace DecimalText
