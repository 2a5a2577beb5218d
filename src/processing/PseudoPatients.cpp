#include "PseudoPatients.h"

#include <QFile>

#include "PatientRecordFile.h"
#include "Windows1252.h"

namespace PseudoPatients {

namespace {

constexpr int kLastNameOffset = 2;
constexpr int kLastNameWidth = 21;

// The last name in the folder's record file, or empty.
QString recordLastName(const QString& folder) {
    QFile file(folder + QLatin1String(PatientRecordFile::kFileName));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray field = file.read(kLastNameOffset + kLastNameWidth).mid(kLastNameOffset);
    const qsizetype end = field.indexOf('\0');
    if (end >= 0)
        field.truncate(end);
    return Windows1252::decode(field);
}

bool endsWithSuffix(const QString& id, const char* suffix) {
    return id.trimmed().endsWith(QLatin1String(suffix).trimmed(), Qt::CaseInsensitive);
}

} // namespace

bool IsCollectorsOwn(const QString& receivedId, const QString& cleanedId, const QString& folder) {
    if (cleanedId.compare(QLatin1String(kAutoControl), Qt::CaseInsensitive) == 0)
        return true;
    const QString received = receivedId.trimmed();
    if (received.endsWith(QLatin1String(kControlSuffix), Qt::CaseInsensitive) ||
        received.endsWith(QLatin1String(kCalibrationSuffix), Qt::CaseInsensitive))
        return true;
    if (!endsWithSuffix(cleanedId, kControlSuffix) &&
        !endsWithSuffix(cleanedId, kCalibrationSuffix))
        return false;
    const QString lastName = recordLastName(folder);
    return lastName == QLatin1String(kControlLastName) ||
           lastName == QLatin1String(kCalibrationLastName);
}

} // namespace PseudoPatients
