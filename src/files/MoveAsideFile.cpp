#include "MoveAsideFile.h"

#include <QFile>

bool MoveAsideFile(const QString& fileName, bool deleteIt) {
    if (!QFile::exists(fileName))
        return true;
    if (deleteIt) {
        if (QFile::remove(fileName))
            return true;
    } else {
        for (int n = 0; n <= 100; ++n) {
            const QString aside = fileName + QString::number(n);
            if (!QFile::exists(aside) && QFile::rename(fileName, aside))
                return true;
        }
    }
    const QString last = fileName + QStringLiteral("Last");
    if (QFile::exists(last)) {
        QFile(last).setPermissions(QFile(last).permissions() | QFileDevice::WriteOwner);
        QFile::remove(last);
    }
    return QFile::rename(fileName, last);
}
