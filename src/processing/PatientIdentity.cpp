#include "PatientIdentity.h"

#include <algorithm>

#include <QDir>
#include <QRegularExpression>

#include "DecimalSeparator.h"
#include "PatManagement.h"

namespace PatientIdentity {

namespace {

bool onlyDots(const QString& id) {
    for (const QChar c : id) {
        if (c != u'.')
            return false;
    }
    return !id.isEmpty();
}

// Names Windows reserves for devices, with or without an extension.
bool isDeviceName(const QString& id) {
    static const QRegularExpression device(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    return device.match(id.trimmed()).hasMatch();
}

// The ID without the dots it begins with; an ID of dots alone stays as it is (it is refused).
QString withoutLeadingDots(QString id) {
    qsizetype dots = 0;
    while (dots < id.size() && id[dots] == u'.')
        ++dots;
    if (dots < id.size())
        id.remove(0, dots);
    return id;
}

bool isControl(QChar c) {
    return c.unicode() < 0x20 || c.unicode() == 0x7F;
}

} // namespace

QString CleanName(const QString& name, bool* shortened) {
    QString cleaned;
    cleaned.reserve(std::min(name.size(), PatManagement::kLongestName + 1));
    for (const QChar c : name) {
        if (!isControl(c) && c != u'^')
            cleaned.append(c);
        if (cleaned.size() > PatManagement::kLongestName)
            break;
    }
    if (shortened)
        *shortened = cleaned.size() > PatManagement::kLongestName;
    return PatManagement::Bounded(cleaned, PatManagement::kLongestName);
}

QString LogExcerpt(const QString& text) {
    constexpr qsizetype kLongest = 80;
    if (text.size() <= kLongest)
        return text;
    return PatManagement::Bounded(text, kLongest) + QStringLiteral("...");
}

QString Reduce(const QString& id, IdReduction reduction) {
    if (id.size() <= 10)
        return id;
    switch (reduction) {
    case IdReduction::FirstTen:
        return id.left(10);
    case IdReduction::LastTen:
        return id.right(10);
    case IdReduction::None:
        break;
    }
    return id;
}

bool IsUnsafeFolderName(const QString& id) {
    if (id.isEmpty() || onlyDots(id) || isDeviceName(id))
        return true;
    for (const QChar c : id) {
        if (c == u'/' || c == u'\\' || c == u':')
            return true;
    }
    return false;
}

QString Clean(const QString& rawId, Cleaning cleaning, IdReduction reduction, bool* refused,
              bool* shortened) {
    if (refused)
        *refused = false;
    if (shortened)
        *shortened = false;
    static const QString removedForResults = QStringLiteral(" \"*-/:<>?\\^|");
    static const QString removedForAdmissions = QStringLiteral(" \"*/:<>?\\^|");
    const QString& removed =
        cleaning == Cleaning::Result ? removedForResults : removedForAdmissions;
    QString id;
    id.reserve(rawId.size());
    for (const QChar c : rawId) {
        if (!removed.contains(c) && !isControl(c))
            id.append(c);
    }
    if (id.isEmpty() || id == QLatin1String(kNull))
        return QLatin1String(kNull);
    // A folder whose name begins with "." is hidden, and folder monitoring passes it over.
    id = withoutLeadingDots(Reduce(withoutLeadingDots(id), reduction));
    if (id.size() > PatManagement::kLongestPatientId) {
        id = PatManagement::Bounded(id, PatManagement::kLongestPatientId);
        if (shortened)
            *shortened = true;
    }
    if (!IsUnsafeFolderName(id))
        return id;
    if (refused)
        *refused = true;
    return QLatin1String(kNull);
}

EUnsafePatientId::EUnsafePatientId(const QString& id)
    : TarvoError(QStringLiteral("The patient ID \"") + id +
                 QStringLiteral("\" cannot name a patient folder; the data is not stored")) {}

QString PatientFolderFor(const QString& id, const QString& root, IdReduction reduction) {
    QString folderId = id;
    const qsizetype marker = folderId.indexOf(QLatin1String(".$"));
    if (marker >= 0)
        folderId.remove(marker, 2);
    folderId = Reduce(folderId, reduction);
    if (IsUnsafeFolderName(folderId))
        throw EUnsafePatientId(id);
    const QString separator = QString(QDir::separator());
    if (marker >= 0 && !folderId.contains(u'$'))
        return root + folderId.left(8) + QStringLiteral(".$") + folderId.mid(8, 2) + separator;
    return root + folderId + separator;
}

TAnalyseResult StatusFromText(const QString& statusText) {
    if (statusText == QLatin1String("OK"))
        return TAnalyseResult::arNormal;
    if (statusText == QLatin1String("under detection limit") || statusText == QLatin1String("DL"))
        return TAnalyseResult::arUnderDetectionLimit;
    if (statusText == QLatin1String("above linearity interval") ||
        statusText == QLatin1String("LL"))
        return TAnalyseResult::arOverLinearityInterval;
    return TAnalyseResult::arString;
}

QString SubstanceName(const QString& parameterName) {
    static const QStringList order = {"Glucose", "Lactate",   "Glycerol",
                                      "Urea",    "Glutamate", "Pyruvate"};
    const qsizetype at = order.indexOf(parameterName);
    return at < 0 ? QString() : QStringLiteral("OstraSubstance%1").arg(at + 1);
}

QString LatestValueText(const QString& parameterName, const QString& place, double value,
                        const QString& unit) {
    return LatestValueText({parameterName, place, unit, value, DecimalSeparator::current()});
}

QString LatestValueText(const LatestValueParts& parts) {
    const double value = parts.value;
    const int decimals = value < 1 ? 3 : value < 10 ? 2 : value < 100 ? 1 : 0;
    QString number = QString::number(value, 'f', decimals);
    if (parts.separator != u'.')
        number.replace(u'.', parts.separator);
    return parts.parameterName + u' ' + parts.place + QStringLiteral(" = ") + number + u' ' +
           parts.unit;
}

} // namespace PatientIdentity
