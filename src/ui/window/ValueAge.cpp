#include "ValueAge.h"

#include <QCoreApplication>

namespace ValueAge {

bool isStale(const QDateTime& measured, const QDateTime& now) {
    return measured.isValid() && measured.secsTo(now) > kStaleMinutes * 60;
}

QString timeText(const QDateTime& measured, const QDateTime& now) {
    if (!measured.isValid())
        return {};
    QString text = measured.date() == now.date()
                       ? measured.toString(QStringLiteral("HH:mm"))
                       : measured.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    if (!isStale(measured, now))
        return text;
    const qint64 minutes = measured.secsTo(now) / 60;
    QString ago;
    if (minutes < 120)
        ago = QCoreApplication::translate("ValueAge", "%1 min ago").arg(minutes);
    else if (minutes < 48 * 60)
        ago = QCoreApplication::translate("ValueAge", "%1 h ago").arg(minutes / 60);
    else
        ago = QCoreApplication::translate("ValueAge", "%1 days ago").arg(minutes / (24 * 60));
    return text + QStringLiteral(" (") + ago + u')';
}

} // namespace ValueAge
