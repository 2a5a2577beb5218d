#include "NamespaceNormalization.h"

namespace {

QString namespaceAttribute(const char* ns) {
    return QStringLiteral(" xmlns=\"") + QLatin1String(ns) + u'"';
}

void removeFirst(QString& text, const QString& part) {
    const qsizetype at = text.indexOf(part);
    if (at >= 0)
        text.remove(at, part.size());
}

} // namespace

QString PatientDataNamespace::rootStartTag(const char* ns) {
    return QStringLiteral("<Tarvo version=\"1.0\" xmlns=\"") + QLatin1String(ns) +
           QStringLiteral("\">");
}

PatientDataSchema NormalizeNamespace(QString& text) {
    using namespace PatientDataNamespace;
    if (text.contains(rootStartTag(k2008)) || text.contains(rootStartTag(k2012))) {
        const QString attribute2008 = namespaceAttribute(k2008);
        removeFirst(text, text.contains(attribute2008) ? attribute2008 : namespaceAttribute(k2012));
        return PatientDataSchema::Year2008Or2012;
    }
    if (text.contains(rootStartTag(k2004))) {
        removeFirst(text, namespaceAttribute(k2004));
        return PatientDataSchema::Year2004;
    }
    return PatientDataSchema::None;
}
