#include "NamespaceNormalization.h"

namespace {

QString namespaceAttribute(const char* ns) {
    return QStringLiteral(" xmlns=\"") + QLatin1String(ns) + u'"';
}

// What follows the common beginning of the root start tags in a tag naming the namespace.
QString tagEnd(const char* ns) {
    return QLatin1String(ns) + QStringLiteral("\">");
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
    static const QString tagBegin = QStringLiteral("<Tarvo version=\"1.0\" xmlns=\"");
    static const QString end2004 = tagEnd(k2004);
    static const QString end2008 = tagEnd(k2008);
    static const QString end2012 = tagEnd(k2012);
    static const QString attribute2004 = namespaceAttribute(k2004);
    static const QString attribute2008 = namespaceAttribute(k2008);
    static const QString attribute2012 = namespaceAttribute(k2012);
    // One pass over the text finds every root start tag of the three; a 2008 or 2012 tag
    // anywhere decides over a 2004 tag.
    const QStringView view(text);
    bool year2004 = false;
    bool year2008Or2012 = false;
    for (qsizetype at = view.indexOf(u'<'); at >= 0 && !year2008Or2012;
         at = view.indexOf(u'<', at + 1)) {
        const QStringView tag = view.mid(at);
        if (tag.size() < 2 || tag[1] != u'T' || !tag.startsWith(tagBegin))
            continue;
        const QStringView rest = tag.mid(tagBegin.size());
        year2008Or2012 = rest.startsWith(end2008) || rest.startsWith(end2012);
        year2004 = year2004 || rest.startsWith(end2004);
    }
    if (year2008Or2012) {
        const qsizetype at2008 = text.indexOf(attribute2008);
        if (at2008 >= 0)
            text.remove(at2008, attribute2008.size());
        else
            removeFirst(text, attribute2012);
        return PatientDataSchema::Year2008Or2012;
    }
    if (year2004) {
        removeFirst(text, attribute2004);
        return PatientDataSchema::Year2004;
    }
    return PatientDataSchema::None;
}
