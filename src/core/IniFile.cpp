#include "IniFile.h"

#include <QFile>

#include "Windows1252.h"

namespace {

QString unquoted(QString value) {
    value = value.trimmed();
    if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
        value = value.mid(1, value.size() - 2);
    return value;
}

QString decodeLine(const QByteArray& line) {
    // Ini files written by Windows tools are in the ANSI code page; ours may be UTF-8.
    const QString utf8 = QString::fromUtf8(line);
    return utf8.contains(QChar::ReplacementCharacter) ? Windows1252::decode(line) : utf8;
}

} // namespace

IniFile::Lookup IniFile::read(const QString& filePath, const QString& section, const QString& key) {
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return {Status::FileUnreadable, {}, file.errorString()};
    if (file.size() > kLargestIniFile)
        return {Status::FileUnreadable,
                {},
                QStringLiteral("it holds %1 bytes, more than the limit of %2 bytes")
                    .arg(file.size())
                    .arg(kLargestIniFile)};
    const QByteArray bytes = file.read(kLargestIniFile + 1);
    if (file.error() != QFileDevice::NoError)
        return {Status::FileUnreadable, {}, file.errorString()};
    if (bytes.size() > kLargestIniFile)
        return {Status::FileUnreadable,
                {},
                QStringLiteral("it holds more than the limit of %1 bytes").arg(kLargestIniFile)};
    if (bytes.contains('\0'))
        return {Status::FileUnreadable, {}, QStringLiteral("it holds NUL bytes")};

    bool inSection = false;
    const QList<QByteArray> lines = bytes.split('\n');
    for (const QByteArray& raw : lines) {
        const QString line = decodeLine(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            const QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            continue;
        if (line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return {Status::Found, unquoted(line.mid(equals + 1)), {}};
    }
    return {Status::KeyMissing, {}, {}};
}
