#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

// The data files a patient folder holds beside the ones in use: half-built or moved-aside data
// files, further data file names, locks.
inline QStringList strayDataFiles(const QString& folder) {
    QStringList stray;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        if (name.startsWith(QLatin1String("Tarvo")) && name != QLatin1String("Tarvo.pil") &&
            name != QLatin1String("TarvoEvents.pil"))
            stray << name;
    }
    return stray;
}
