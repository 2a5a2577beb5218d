#include "MoveAsideFile.h"

#include <QFile>

bool MoveAsideFile(const QString& fileName, bool deleteIt, QString* movedTo) {
    if (movedTo)
        movedTo->clear();
    if (!QFile::exists(fileName))
        return true;
    if (deleteIt) {
        if (QFile::remove(fileName))
            return true;
    } else {
        for (int n = 0; n <= 100; ++n) {
            const QString aside = fileName + QString::number(n);
            if (!QFile::exists(aside) && QFile::rename(fileName, aside)) {
                if (movedTo)
                    *movedTo = aside;
                return true;
            }
        }
    }
    const QString last = fileName + QStringLiteral("Last");
    if (QFile::exists(last)) {
        QFile(last).setPermissions(QFile(last).permissions() | QFileDevice::WriteOwner);
        QFile::remove(last);
    }
    if (!QFile::rename(fileName, last))
        return false;
    if (movedTo)
        *movedTo = last;
    return true;
}
