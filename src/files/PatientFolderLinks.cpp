#include "PatientFolderLinks.h"

#include <QDir>
#include <QFileInfo>

namespace PatientFolderLinks {

QString EscapeOf(const QString& path, const QString& patientFolder) {
    const QFileInfo info(path);
    const QString base = QFileInfo(patientFolder).canonicalFilePath();
    const QString target = info.canonicalFilePath();
    const auto inside = [&](const QString& place) {
        return base.isEmpty() || place == base || place.startsWith(base + u'/');
    };
    if (target.isEmpty()) {
        // A link to nothing: it is judged by where it points, and what stays inside is left to
        // the reader, who reports that it cannot be read.
        if (!info.isSymLink())
            return {};
        const QString pointed = QDir::cleanPath(info.symLinkTarget());
        const QString absoluteBase = QDir::cleanPath(QFileInfo(patientFolder).absoluteFilePath());
        if (inside(pointed) || pointed == absoluteBase || pointed.startsWith(absoluteBase + u'/'))
            return {};
        return pointed + QStringLiteral(", which does not exist");
    }
    return inside(target) ? QString() : target;
}

QString SkipLine(const QString& path, const QString& patientFolder, const QString& escape) {
    return QStringLiteral("Symbolic link ") + QDir::toNativeSeparators(path) +
           QStringLiteral(" leads outside the patient folder ") +
           QDir::toNativeSeparators(patientFolder) + QStringLiteral(" (to ") + escape +
           QStringLiteral("); skipped");
}

} // namespace PatientFolderLinks
