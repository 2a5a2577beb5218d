#include "ExternalMediaImport.h"

#include <QDir>
#include <QFile>

#include "CollectorState.h"
#include "EventLog.h"
#include "FileReplacement.h"
#include "FolderCreation.h"
#include "HiddenAttribute.h"
#include "InstallationLayout.h"
#include "LogPrefixes.h"
#include "OperatorMessages.h"
#include "PatientFolderLinks.h"
#include "PatientIdentity.h"
#include "TXMLDocument.h"
#include "XmlArchive.h"

ExternalMediaImport::ExternalMediaImport(const CollectorState& state, EventLog& log,
                                         OperatorMessages* messages)
    : m_state(state), m_log(log), m_messages(messages) {}

QString ExternalMediaImport::copyWhole(const QString& from, const QString& to) {
    QFile input(from);
    if (!input.open(QIODevice::ReadOnly))
        return input.errorString() + QStringLiteral(" (") + QDir::toNativeSeparators(from) + u')';
    if (input.size() > TXMLDocument::kLargestDocument)
        return QStringLiteral("%1 bytes is more than an XML document may hold (%2)")
            .arg(input.size())
            .arg(QDir::toNativeSeparators(from));
    const QByteArray contents = input.readAll();
    if (contents.size() != input.size())
        return input.errorString() + QStringLiteral(" (") + QDir::toNativeSeparators(from) + u')';
    return FileReplacement::replace(to, contents);
}

ImportOutcome ExternalMediaImport::refuse(const QString& message) {
    if (m_messages)
        m_messages->showMessage(message);
    ImportOutcome outcome;
    outcome.message = message;
    return outcome;
}

ImportOutcome ExternalMediaImport::Import(const QString& patientId, const QString& sourceRoot) {
    // The ID names a folder on the medium and one in the data root: it must stay inside both.
    if (patientId.isEmpty() || PatientIdentity::IsUnsafeFolderName(patientId))
        return refuse(QStringLiteral("Patient ID \"") + patientId +
                      QStringLiteral("\" cannot name a patient folder"));
    if (sourceRoot.isEmpty())
        return refuse(QStringLiteral("No external media drive is set"));
    // The documents go to the archive that "Recreate data" reads for the same ID, the folder
    // the analyzer's own documents of that patient are archived in.
    const QString target =
        PatientIdentity::PatientFolderFor(patientId, m_state.dataRoot, m_state.idReduction);
    const QString source = withTrailingSeparator(sourceRoot + patientId);
    if (!QDir(source).exists())
        return refuse(QStringLiteral("Unknown patient ") + patientId +
                      QStringLiteral(": no folder ") + QDir::toNativeSeparators(source) +
                      QStringLiteral(" on the external media"));

    QDir from(source);
    const QStringList files = documentsIn(source, from);
    if (files.isEmpty())
        return refuse(QStringLiteral("No XML files for ") + patientId + QStringLiteral(" in ") +
                      QDir::toNativeSeparators(source));
    QString archive;
    if (std::optional<ImportOutcome> refused = createArchive(target, archive))
        return *refused;

    ImportOutcome outcome = copyDocuments(from, files, archive);
    if (!outcome.imported)
        return outcome;
    m_log.writeLog(QStringLiteral("Copied ") + QString::number(outcome.copied) +
                   QStringLiteral(" XML files for ") + patientId + QStringLiteral(" from ") +
                   QDir::toNativeSeparators(from.path()));
    return outcome;
}

QStringList ExternalMediaImport::documentsIn(const QString& source, QDir& from) {
    const QStringList filter{QStringLiteral("*.xml")};
    QStringList files = from.entryList(filter, QDir::Files | QDir::Hidden, QDir::Name);
    if (files.isEmpty()) {
        from.setPath(source + QLatin1String(XmlArchive::kFolderName));
        files = from.entryList(filter, QDir::Files | QDir::Hidden, QDir::Name);
    }
    // A document on the medium that is a link out of the patient's folder there is not copied.
    files.removeIf([&](const QString& file) {
        const QString path = from.filePath(file);
        const QString escape = PatientFolderLinks::EscapeOf(path, source);
        if (escape.isEmpty())
            return false;
        m_log.writeLog(PatientFolderLinks::SkipLine(path, source, escape));
        return true;
    });
    return files;
}

std::optional<ImportOutcome> ExternalMediaImport::createArchive(const QString& target,
                                                                QString& archive) {
    // The operator is told as before; the log says which folder and why.
    const auto notCreated = [&](const QString& folder, const QString& why) {
        m_log.writeError(QLatin1String(LogPrefix::kExternalMedia) +
                         QStringLiteral("Could not create directory ") + folder +
                         QStringLiteral(" (") + why + u')');
        return refuse(QLatin1String(kNotCreated));
    };
    if (const QString why = FolderCreation::create(target); !why.isEmpty())
        return notCreated(target, why);
    archive = target + QLatin1String(XmlArchive::kFolderName);
    if (!QDir(archive).exists()) {
        if (const QString why = FolderCreation::create(archive); !why.isEmpty())
            return notCreated(archive, why);
        setHiddenAttribute(archive);
    }
    return std::nullopt;
}

ImportOutcome ExternalMediaImport::copyDocuments(const QDir& from, const QStringList& files,
                                                 const QString& archive) {
    ImportOutcome outcome;
    outcome.targetArchive = archive;
    for (const QString& file : files) {
        // A document already in the archive is replaced only by a complete copy: a copy that
        // fails (a full disk, a medium pulled out) keeps the archived document as it was.
        const QString to = archive + nativeSeparator() + file;
        QFile existing(to);
        if (existing.exists())
            existing.setPermissions(existing.permissions() | QFileDevice::WriteOwner);
        const QString failure = copyWhole(from.filePath(file), to);
        if (!failure.isEmpty()) {
            m_log.writeError(QLatin1String(LogPrefix::kExternalMedia) + failure);
            outcome.message = QLatin1String(LogPrefix::kExternalMedia) + failure;
            return outcome;
        }
        ++outcome.copied;
    }
    outcome.imported = true;
    return outcome;
}
