#include "InstallationLayout.h"

#include <QDir>
#include <QStandardPaths>

namespace {

QString folderText(const QString& path) {
    return withTrailingSeparator(QDir::toNativeSeparators(QDir::cleanPath(path)));
}

} // namespace

QString nativeSeparator() {
    return QString(QDir::separator());
}

QString withTrailingSeparator(const QString& folder) {
    if (folder.endsWith(u'/') || folder.endsWith(u'\\'))
        return folder;
    return folder + nativeSeparator();
}

InstallationLayout InstallationLayout::standard(const QString& executableFolder) {
    InstallationLayout layout;
    layout.iniFolder = folderText(executableFolder);
    layout.rootFolder = folderText(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/TarvoCollect");
#ifdef Q_OS_WIN
    layout.driveC = QStringLiteral("C:\\");
#else
    layout.currentUserHiveFile = layout.rootFolder + "HKEY_CURRENT_USER.ini";
    layout.localMachineHiveFile = QStringLiteral("/etc/xdg/TarvoCollect/HKEY_LOCAL_MACHINE.ini");
    layout.driveC = folderText(QDir::homePath());
#endif
    return layout;
}

InstallationLayout InstallationLayout::portableAt(const QString& folder) {
    InstallationLayout layout;
    layout.portable = true;
    layout.rootFolder = folderText(QDir(folder).absolutePath());
    layout.currentUserHiveFile = layout.rootFolder + "HKEY_CURRENT_USER.ini";
    layout.localMachineHiveFile = layout.rootFolder + "HKEY_LOCAL_MACHINE.ini";
    layout.iniFolder = layout.rootFolder;
    layout.driveC = layout.rootFolder + "C" + nativeSeparator();
    return layout;
}

QString InstallationLayout::nativePath(const QString& windowsText) const {
    QString text = windowsText;
    const bool onDrive = text.size() >= 3 && text.at(0).isLetter() && text.at(0).unicode() < 128 &&
                         text.at(1) == u':' && (text.at(2) == u'\\' || text.at(2) == u'/');
    if (onDrive) {
        const QChar letter = text.at(0).toUpper();
        if (letter == u'C')
            text = driveC + text.mid(3);
#ifndef Q_OS_WIN
        else
            text = otherDriveFolder(letter) + text.mid(3);
#endif
    }
#ifdef Q_OS_WIN
    return text;
#else
    text.replace(u'\\', u'/');
    return text;
#endif
}

QString InstallationLayout::otherDriveFolder(QChar letter) const {
    // Portable: beside the stand-in for drive C; otherwise where removable media are mounted.
    if (portable)
        return withTrailingSeparator(rootFolder) + letter.toUpper() + u'/';
    return QStringLiteral("/mnt/") + letter.toLower() + u'/';
}
