#include "XmlArchive.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStringEncoder>

#include <stdexcept>

#include "CollectorState.h"
#include "EventLog.h"
#include "FileReplacement.h"
#include "FolderCreation.h"
#include "HiddenAttribute.h"
#include "InstallationLayout.h"
#include "PatientIdentity.h"
#include "ProcessingProgress.h"
#include "TXMLDocument.h"
#include "TarvoError.h"

namespace {

constexpr int kLongestName = 120;

[[noreturn]] void fail(const QString& message) {
    throw TarvoError(message);
}

bool allowedInFileName(QChar c) {
    static const QString reserved = QStringLiteral("<>:\"/\\|?*");
    return c.unicode() >= 0x20 && !reserved.contains(c);
}

bool usableAsIs(const QString& name) {
    if (name.isEmpty() || name.size() > kLongestName || PatientIdentity::IsUnsafeFolderName(name))
        return false;
    if (name.endsWith(u'.') || name.endsWith(u' ') || name.startsWith(u' '))
        return false;
    for (const QChar c : name) {
        if (!allowedInFileName(c))
            return false;
    }
    return true;
}

} // namespace

XmlArchive::XmlArchive(const CollectorState& state, const ProcessingProgress& progress,
                       EventLog& log)
    : m_state(state), m_progress(progress), m_log(log) {}

XmlArchive::AdmissionKeys XmlArchive::KeysOf(pugi::xml_node admission) {
    const auto text = [](pugi::xml_node parent, const char* tag) {
        return QString::fromUtf8(parent.child(tag).child_value());
    };
    const pugi::xml_node patient = admission.child("Patient");
    AdmissionKeys keys;
    keys.patientId = text(patient, "PatientID");
    keys.firstName = text(patient, "FirstName");
    keys.lastName = text(patient, "LastName");
    keys.uniqueId = text(admission, "UniqueID");
    keys.admissionDate = text(admission, "AdmissionDate");
    return keys;
}

QString XmlArchive::ArchiveNameFor(const QString& uniqueId, const QString& fallbackKey) {
    if (usableAsIs(uniqueId))
        return uniqueId;
    QString cleaned;
    for (const QChar c : uniqueId)
        cleaned += allowedInFileName(c) && c != u'.' ? c : u'_';
    cleaned = cleaned.trimmed().left(kLongestName - 20);
    const QString key = uniqueId.isEmpty() ? QStringLiteral("no id:") + fallbackKey : uniqueId;
    const QString hash = QString::fromLatin1(
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(12));
    return (cleaned.isEmpty() ? QStringLiteral("NoUniqueID")
                              : QStringLiteral("Unsafe_") + cleaned) +
           u'-' + hash;
}

QString XmlArchive::Store(const TXMLDocument& document, const QString& name) {
    const QString folder = m_progress.currentPatient().folder + QLatin1String(kFolderName);
    if (!QDir(folder).exists()) {
        const QString why = FolderCreation::create(folder);
        if (!why.isEmpty())
            fail(QStringLiteral("Cannot create the archive folder ") + folder +
                 QStringLiteral(" (") + why + u')');
        setHiddenAttribute(folder);
    }
    const QString path = folder + nativeSeparator() + name + QStringLiteral(".xml");
    document.SaveToFile(path);
    return path;
}

void XmlArchive::Duplicate(const QString& message, const QString& name) {
    QString target;
    try {
        const QString location = m_state.duplicateLocation;
        target = PatientIdentity::PatientFolderFor(m_progress.currentPatient().id, location,
                                                   m_state.idReduction);
        for (const QString& folder : {location, target}) {
            const QString why = FolderCreation::create(folder);
            if (!why.isEmpty())
                fail(QStringLiteral("Cannot create ") + folder + QStringLiteral(" (") + why + u')');
        }
        target = withTrailingSeparator(target);
        if (!message.contains(u'\n'))
            return;
        const qsizetype end = message.indexOf(QLatin1String("</Tarvo>"));
        if (end < 0)
            return;
        const QString text = message.left(end) + QStringLiteral(" </Tarvo>");
        const QByteArray bytes = QStringEncoder(QStringEncoder::Utf16LE)(text);
        const QString path = target + name + QStringLiteral(".xml");
        if (const QString failure = FileReplacement::replace(path, bytes); !failure.isEmpty())
            fail(failure);
        m_log.writeExtendedLog(QStringLiteral("XML Duplicated to :") + target + nativeSeparator() +
                               name + QStringLiteral(".xml"));
    } catch (const std::exception& error) {
        m_log.writeError(QStringLiteral("Error when duplicating XML-file: ") +
                         describeError(error));
        m_log.writeLog(QStringLiteral("  Saving to: ") + target);
    }
}
