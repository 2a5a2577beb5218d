#include "ExternalMediaDrive.h"

#include <QDir>

#include "InstallationLayout.h"

namespace ExternalMediaDrive {

namespace {

bool isMountFolder(const QString& value) {
#ifdef Q_OS_WIN
    Q_UNUSED(value);
    return false;
#else
    return value.size() > 1 && QDir::isAbsolutePath(value);
#endif
}

} // namespace

QString AcceptAnswer(const QString& answer) {
    const QString trimmed = answer.trimmed();
    if (trimmed.isEmpty())
        return {};
    if (isMountFolder(trimmed))
        return withTrailingSeparator(QDir::cleanPath(trimmed));
    const QChar letter = trimmed.at(0).toUpper();
    if (letter >= u'D' && letter <= u'Z')
        return QString(letter);
    return {};
}

QString MenuCaption(const QString& value) {
    if (isMountFolder(value))
        return QStringLiteral("Set External Media Drive (") + value + u')';
    return QStringLiteral("Set External Media Drive (") + value.toUpper() + QStringLiteral(":\\)");
}

QString SourceRoot(const QString& value, const InstallationLayout& layout) {
    if (value.isEmpty())
        return {};
    if (isMountFolder(value))
        return withTrailingSeparator(value) + QStringLiteral("Data") + nativeSeparator();
    return layout.nativePath(value.left(1).toUpper() + QStringLiteral(":\\Data\\"));
}

} // namespace ExternalMediaDrive
