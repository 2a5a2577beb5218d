#include "DecimalText.h"

#include <cmath>

#include "DecimalSeparator.h"
#include "XmlErrors.h"

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

} // namespace DecimalText
