#include "DecimalText.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "DecimalSeparator.h"
#include "XmlErrors.h"

namespace {

// Digits with an optional leading minus and at most one decimal mark between digits; a longer
// text than this is left to the general reader.
constexpr std::size_t kLongestPlainNumber = 40;

// A plain number read as "." or "," separated, into the given C-locale text with a point;
// false for any other text.
bool plainNumber(const char* text, char (&pointed)[kLongestPlainNumber + 1], std::size_t& size) {
    size = std::strlen(text);
    if (size == 0 || size > kLongestPlainNumber)
        return false;
    std::size_t at = text[0] == '-' ? 1 : 0;
    bool mark = false;
    bool digitBefore = false;
    for (std::size_t i = at; i < size; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digitBefore = true;
            pointed[i] = c;
        } else if ((c == '.' || c == ',') && !mark && digitBefore && i + 1 < size) {
            mark = true;
            digitBefore = false;
            pointed[i] = '.';
        } else {
            return false;
        }
    }
    if (!digitBefore)
        return false;
    if (at == 1)
        pointed[0] = '-';
    return true;
}

} // namespace

namespace DecimalText {

bool convert(const QString& text, QChar separator, double& value) {
    QString plain = text.trimmed();
    if (separator != u'.') {
        if (plain.contains(u'.'))
            return false;
        plain.replace(separator, u'.');
    }
    bool ok = false;
    const double converted = plain.toDouble(&ok);
    if (!ok || !std::isfinite(converted))
        return false;
    value = converted;
    return true;
}

QString format(double value) {
    QString text = QString::number(value, 'g', 15);
    const QChar separator = DecimalSeparator::current();
    if (separator != u'.')
        text.replace(u'.', separator);
    return text;
}

double readLiveConcentration(const QString& text) {
    DecimalSeparator::set(u'.');
    double value = 0.0;
    return convert(text, u'.', value) ? value : 0.0;
}

double readDocumentConcentration(const QString& text) {
    const QChar separator = DecimalSeparator::current();
    const QChar other = separator == u',' ? u'.' : u',';
    QString prepared = text;
    const qsizetype at = prepared.indexOf(other);
    if (at >= 0)
        prepared[at] = separator;
    double value = 0.0;
    if (!convert(prepared, separator, value))
        throw EConvertError(u'\'' + prepared +
                            QStringLiteral("' is not a valid floating point value"));
    return value;
}

double readDocumentConcentration(const char* utf8) {
    // With a "." or "," separator the first decimal mark of either kind is the separator;
    // any other separator and every other text take the general way.
    const QChar separator = DecimalSeparator::current();
    char pointed[kLongestPlainNumber + 1];
    std::size_t size = 0;
    if ((separator == u'.' || separator == u',') && plainNumber(utf8, pointed, size)) {
        double value = 0.0;
        const std::from_chars_result read = std::from_chars(pointed, pointed + size, value);
        if (read.ec == std::errc() && read.ptr == pointed + size && std::isfinite(value))
            return value;
    }
    return readDocumentConcentration(QString::fromUtf8(utf8));
}

} // namespace DecimalText
