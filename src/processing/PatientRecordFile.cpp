#include "PatientRecordFile.h"

#include <stdexcept>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "FileReplacement.h"
#include "FolderCreation.h"
#include "IniFile.h"
#include "TarvoError.h"
#include "Windows1252.h"

namespace PatientRecordFile {

namespace {

// Bytes 56 to 270 of the template.
const QByteArray& templateTail() {
    static const QByteArray tail = QByteArray::fromHex(
        "2D002068F62062756B006F72616C690030313A30300001000100010001002D000400001C0031303732303130"
        "322D30313A30300001000100010001002D0072616C690030313A30300001000030343A303000010001000100"
        "0100BA34020000000000ED0300000A0005000003000300010004000400010000003200050000000032000500"
        "0000003200050000000032000500000400040001000000320005000000003200050000000032000500000000"
        "320005000004000400010000003200050000000032000500000000320005000000003200050000");
    return tail;
}

QByteArray field(const QString& text, int width) {
    QByteArray bytes = Windows1252::encode(text).left(width - 1);
    bytes.append(QByteArray(width - bytes.size(), '\0'));
    return bytes;
}

QString recordPath(const QString& folder) {
    return folder + QLatin1String(kFileName);
}

void makeWritable(const QString& path) {
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
}

void writeRecord(const QString& folder, const QByteArray& contents) {
    const QString why = FolderCreation::create(folder);
    if (!why.isEmpty())
        throw TarvoError(QStringLiteral("Exception: Could not create directory ") + folder +
                         QStringLiteral(" (") + why + u')');
    // Written whole or not at all: an empty or partial record would count as existing.
    const QString failure = FileReplacement::replace(recordPath(folder), contents);
    if (!failure.isEmpty())
        throw TarvoError(failure);
}

} // namespace

QByteArray Contents(const QString& patientId, const QString& firstName, const QString& lastName) {
    QByteArray bytes("\xF1\x03", 2);
    bytes += field(lastName, 21);
    bytes += field(firstName, 21);
    bytes += field(patientId.trimmed(), 12);
    bytes += templateTail();
    return bytes;
}

bool Exists(const QString& folder) {
    return QFileInfo(recordPath(folder)).isFile();
}

QString Create(const QString& patientId, const QString& firstName, const QString& folder,
               const QString& lastName) {
    writeRecord(folder, Contents(patientId, firstName, lastName));
    return QStringLiteral("Created: ") + patientId + QStringLiteral(" (") + firstName + u' ' +
           lastName + QStringLiteral(") - ") + folder;
}

void CreateIfMissing(const QString& patientId, const QString& firstName, const QString& folder,
                     const QString& lastName) {
    if (!Exists(folder))
        writeRecord(folder, Contents(patientId, firstName, lastName));
}

bool UpdateNames(const QString&, const QString& firstName, const QString& folder,
                 const QString& lastName, const QString& tcaDataIni, QString* failure) {
    for (const char* key : {"1", "2", "3"}) {
        const IniFile::Lookup registered =
            IniFile::read(tcaDataIni, QStringLiteral("Registered"), QLatin1String(key));
        if (registered.status == IniFile::Status::Found && !registered.value.isEmpty() &&
            registered.value.contains(folder))
            return false;
    }
    const QString record = recordPath(folder);
    const QString backup = folder + QLatin1String(kBackupName);
    QFile source(record);
    QByteArray contents;
    if (source.open(QIODevice::ReadOnly))
        contents = source.readAll();
    source.close();
    makeWritable(record);
    if (QFile::exists(backup))
        makeWritable(backup);
    // The old record becomes the backup and the renamed record takes its place, each written
    // whole: when either cannot be written (a full disk) the record stays as it was.
    const QString setAside = source.error() == QFileDevice::NoError
                                 ? FileReplacement::replace(backup, contents)
                                 : source.errorString();
    if (!setAside.isEmpty()) {
        if (failure)
            *failure = QStringLiteral("Unable to rename ") + folder +
                       QStringLiteral("Patient. => ") + folder + QStringLiteral("Backup");
        return false;
    }
    if (contents.size() >= 44) {
        contents.replace(2, 21, field(lastName, 21));
        contents.replace(23, 21, field(firstName, 21));
    }
    const QString written = FileReplacement::replace(record, contents);
    if (!written.isEmpty()) {
        if (failure)
            *failure = written;
        return false;
    }
    return true;
}

} // namespace PatientRecordFile
