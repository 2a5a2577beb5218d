#include "TFileVersionScanner.h"

#include <QCoreApplication>

QString TFileVersionScanner::About() const {
    return QStringLiteral("Version reader of ") + QCoreApplication::applicationName();
}

QString TFileVersionScanner::GetVersion() const {
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QString::fromLatin1(kUnknownVersion) : version;
}
