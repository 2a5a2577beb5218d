#include "LocalTimeZone.h"

#include <QFileInfo>
#include <QtGlobal>

void readLocalTimeZoneOnce() {
#ifndef Q_OS_WIN
    static constexpr auto kSystemZoneFile = "/etc/localtime";
    if (qEnvironmentVariableIsSet("TZ") || !QFileInfo::exists(QLatin1String(kSystemZoneFile)))
        return;
    qputenv("TZ", QByteArray(":") + kSystemZoneFile);
#endif
}
