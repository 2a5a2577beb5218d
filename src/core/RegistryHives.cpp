#include "RegistryHives.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <stdexcept>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringDecoder>

#include "FileReplacement.h"
#include "TarvoError.h"

namespace {

constexpr auto kDwordPrefix = "dword:";
constexpr auto kTextPrefix = "sz:";
constexpr auto kEscapedPrefix = "esc:";

// The registry ignores the case of key names. The file form keeps the spelling it is given,
// so the keys this program reads are put back into their canonical spelling when a file is
// read; a hand-edited "[software\keldamed ab\...]" section then still counts.
const QStringList& canonicalKeys() {
    static const QStringList keys = {
        QStringLiteral("SOFTWARE/Keldamed AB/Panoptra/External Collect/1.0/Tarvo"),
        QStringLiteral("Software/Keldamed AB/Orvanta/2.0/General"),
        QStringLiteral("Software/Keldamed AB/Orvanta/2.0/File Paths"),
        QStringLiteral("Software/Keldamed AB/Orvanta/1.0/File Paths"),
    };
    return keys;
}

QString canonicalGroup(const QString& group) {
    for (const QString& key : canonicalKeys()) {
        if (key.compare(group, Qt::CaseInsensitive) == 0)
            return key;
    }
    return group;
}

// Characters a line "name=value" cannot carry literally: the reader splits lines, trims
// blanks at both ends, and UTF-8 cannot hold a lone surrogate.
std::vector<bool> charactersToEscape(const QString& text) {
    std::vector<bool> escape(size_t(text.size()), false);
    qsizetype first = 0;
    while (first < text.size() && text[first].isSpace())
        ++first;
    qsizetype last = text.size() - 1;
    while (last >= first && text[last].isSpace())
        --last;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        escape[size_t(i)] = u < 0x20 || u == 0x7F || c.isSurrogate() || i < first || i > last;
    }
    return escape;
}

QString escaped(const QString& text, const std::vector<bool>& escape) {
    QString out = QLatin1String(kEscapedPrefix);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (escape[size_t(i)] || u == u'%')
            out += u < 0x100 ? QStringLiteral("%%1").arg(uint(u), 2, 16, QLatin1Char('0'))
                             : QStringLiteral("%u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
        else
            out += text[i];
    }
    return out;
}

// The text of an "esc:" value; a "%" not followed by a valid escape stays as it is.
QString unescaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'%') {
            const bool wide = i + 1 < text.size() && text[i + 1] == u'u';
            const qsizetype digits = wide ? 4 : 2;
            const qsizetype from = i + (wide ? 2 : 1);
            bool ok = false;
            const uint code = text.mid(from, digits).toUInt(&ok, 16);
            if (ok && from + digits <= text.size()) {
                out += QChar(char16_t(code));
                i = from + digits - 1;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// A value name the line form can hold: the reader would take anything else for another line,
// a section, a comment or a name that ends elsewhere.
bool writableName(const QString& name) {
    if (name.isEmpty() || name.front().isSpace() || name.back().isSpace() ||
        name.startsWith(u'[') || name.startsWith(u';') || name.startsWith(u'#'))
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c == u'=' || c == u'/' || c == u'\\')
            return false;
    }
    return true;
}

QString hiveText(const QMap<QString, QVariant>& values) {
    std::map<QString, std::map<QString, QString>> sections;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const qsizetype slash = it.key().lastIndexOf(u'/');
        const QString group = slash < 0 ? QString() : it.key().left(slash);
        sections[group][it.key().mid(slash + 1)] = RegistryHives::formatValue(it.value());
    }
    QString text;
    for (const auto& [group, lines] : sections) {
        if (!text.isEmpty())
            text += u'\n';
        if (!group.isEmpty()) {
            QString keyPath = group;
            keyPath.replace(u'/', u'\\');
            text += u'[' + keyPath + QStringLiteral("]\n");
        }
        for (const auto& [name, value] : lines)
            text += name + u'=' + value + u'\n';
    }
    return text;
}

QString withoutByteOrderMark(QString text) {
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

// Why the bytes of a hive file cannot be taken for one (empty when they can): the file must be
// UTF-8 text without control characters other than tab and line ends, and every line must be
// blank, a comment, a section or a value. Anything else is a damaged or foreign file, whose
// values would silently read as their defaults.
QString damageIn(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = withoutByteOrderMark(decoder.decode(bytes));
    if (decoder.hasError())
        return QStringLiteral("it is not UTF-8 text");
    const QStringList lines = text.split(u'\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        for (const QChar c : lines[n]) {
            if ((c.unicode() < 0x20 && c != u'\t' && c != u'\r') || c.unicode() == 0x7F)
                return QStringLiteral("line %1 holds the control character 0x%2")
                    .arg(n + 1)
                    .arg(uint(c.unicode()), 2, 16, QLatin1Char('0'));
        }
        const QString line = lines[n].trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#') ||
            (line.startsWith(u'[') && line.endsWith(u']')) || line.indexOf(u'=') > 0)
            continue;
        return QStringLiteral("line %1 is neither a section, a value nor a comment").arg(n + 1);
    }
    return {};
}

QMap<QString, QVariant> parseHive(const QByteArray& bytes) {
    QMap<QString, QVariant> values;
    QString group;
    const QStringList lines = withoutByteOrderMark(QString::fromUtf8(bytes)).split(u'\n');
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            group =
                canonicalGroup(RegistryHives::groupPath(line.mid(1, line.size() - 2).trimmed()));
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QString name = line.left(equals).trimmed();
        const QString key = group.isEmpty() ? name : group + u'/' + name;
        values.insert(key, RegistryHives::parseValue(line.mid(equals + 1).trimmed()));
    }
    return values;
}

std::unique_ptr<QSettings> nativeRoot(RegistryRoot root) {
    return std::make_unique<QSettings>(root == RegistryRoot::CurrentUser
                                           ? QStringLiteral("HKEY_CURRENT_USER")
                                           : QStringLiteral("HKEY_LOCAL_MACHINE"),
                                       QSettings::NativeFormat);
}

QString rootName(RegistryRoot root) {
    return root == RegistryRoot::CurrentUser ? QStringLiteral("HKEY_CURRENT_USER")
                                             : QStringLiteral("HKEY_LOCAL_MACHINE");
}

} // namespace

bool isRegistryInteger(const QVariant& value) {
    switch (value.metaType().id()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

RegistryHives::RegistryHives(QString currentUserFile, QString localMachineFile)
    : m_currentUserFile(std::move(currentUserFile)),
      m_localMachineFile(std::move(localMachineFile)) {}

QString RegistryHives::fileOf(RegistryRoot root) const {
    return root == RegistryRoot::CurrentUser ? m_currentUserFile : m_localMachineFile;
}

QString RegistryHives::groupPath(const QString& keyPath) {
    QString path = keyPath;
    path.replace(u'\\', u'/');
    while (path.startsWith(u'/'))
        path.remove(0, 1);
    while (path.endsWith(u'/'))
        path.chop(1);
    return path;
}

QVariant RegistryHives::parseValue(const QString& text) {
    if (text.startsWith(QLatin1String(kTextPrefix)))
        return text.mid(int(qstrlen(kTextPrefix)));
    if (text.startsWith(QLatin1String(kEscapedPrefix)))
        return unescaped(text.mid(int(qstrlen(kEscapedPrefix))));
    if (text.startsWith(QLatin1String(kDwordPrefix), Qt::CaseInsensitive)) {
        const QString number = text.mid(int(qstrlen(kDwordPrefix))).trimmed();
        bool ok = false;
        const qlonglong value = number.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                                    ? number.mid(2).toLongLong(&ok, 16)
                                    : number.toLongLong(&ok, 10);
        if (ok && value >= std::numeric_limits<qint32>::min() &&
            value <= std::numeric_limits<quint32>::max())
            return QVariant(qint32(quint32(value)));
    }
    return text;
}

QString RegistryHives::formatValue(const QVariant& value) {
    if (isRegistryInteger(value))
        return QLatin1String(kDwordPrefix) + QString::number(value.toInt());
    const QString text = value.toString();
    const std::vector<bool> escape = charactersToEscape(text);
    if (std::find(escape.begin(), escape.end(), true) != escape.end())
        return escaped(text, escape);
    if (text.startsWith(QLatin1String(kDwordPrefix), Qt::CaseInsensitive) ||
        text.startsWith(QLatin1String(kTextPrefix)) ||
        text.startsWith(QLatin1String(kEscapedPrefix)))
        return QLatin1String(kTextPrefix) + text;
    return text;
}

void RegistryHives::setFailureReporter(std::function<void(const QString&)> reporter) {
    const std::lock_guard lock(m_mutex);
    m_reporter = std::move(reporter);
}

void RegistryHives::report(const QString& failure) const {
    std::function<void(const QString&)> reporter;
    {
        const std::lock_guard lock(m_mutex);
        reporter = m_reporter;
    }
    if (reporter)
        reporter(failure);
    else
        qWarning("%s", qPrintable(failure));
}

std::optional<RegistryHives::Values> RegistryHives::readFile(const QString& file,
                                                             QString* reason) const {
    const FileStamp stamp = FileStamp::of(file);
    if (stamp.size < 0)
        return Values();
    {
        const std::lock_guard lock(m_mutex);
        const auto cached = m_cache.find(file);
        if (cached != m_cache.end() && cached->second.stamp == stamp)
            return cached->second.values;
    }
    const auto failed = [reason](const QString& why) -> std::optional<Values> {
        if (reason)
            *reason = why;
        return std::nullopt;
    };
    if (stamp.size > kLargestHive)
        return failed(QStringLiteral("it holds %1 bytes, more than the limit of %2 bytes")
                          .arg(stamp.size)
                          .arg(kLargestHive));
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly))
        return failed(input.errorString());
    const QByteArray bytes = input.read(kLargestHive + 1);
    if (input.error() != QFileDevice::NoError)
        return failed(input.errorString());
    if (bytes.size() > kLargestHive)
        return failed(QStringLiteral("it holds more than the limit of %1 bytes").arg(kLargestHive));
    const QString damage = damageIn(bytes);
    if (!damage.isEmpty())
        return failed(damage);
    Values values = parseHive(bytes);
    if (FileStamp::of(file) == stamp && bytes.size() == stamp.size) {
        const std::lock_guard lock(m_mutex);
        m_cache[file] = {stamp, values};
    }
    return values;
}

RegistryHives::Values RegistryHives::readValues(const QString& file) const {
    if (std::optional<Values> values = readFile(file))
        return std::move(*values);
    return readFile(lastGoodFileOf(file)).value_or(Values());
}

QString RegistryHives::writeFile(const QString& file, const Values& values) const {
    const QString folder = QFileInfo(file).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("Could not write ") + file + QStringLiteral(": cannot create ") +
               folder;
    const QByteArray contents = hiveText(values).toUtf8();
    // A file that could not be read back would take every setting with it.
    if (contents.size() > kLargestHive)
        return QStringLiteral("Could not write ") + file +
               QStringLiteral(": the settings would take %1 bytes, more than the limit of %2 "
                              "bytes; the file is left as it is")
                   .arg(contents.size())
                   .arg(kLargestHive);
    const QString failure = FileReplacement::replace(file, contents);
    if (!failure.isEmpty())
        return failure;
    {
        const std::lock_guard lock(m_mutex);
        m_cache[file] = {FileStamp::of(file), values};
    }
    // The last good copy follows every successful write; a copy that cannot be written is
    // reported, the settings themselves are saved.
    const QString copyFailure = FileReplacement::replace(lastGoodFileOf(file), contents);
    if (!copyFailure.isEmpty())
        report(QStringLiteral("The last good copy of the settings was not written: ") +
               copyFailure);
    return {};
}

// The copy follows a file that was edited by hand since the last save; a file in a folder this
// program cannot write (the machine's settings for a user) is never saved here either, and needs
// no copy of ours.
void RegistryHives::refreshLastGoodCopy(const QString& file, const QString& copy) const {
    QFile input(file);
    QFile previous(copy);
    if (!QFileInfo(QFileInfo(file).absolutePath()).isWritable() || !input.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = input.readAll();
    if (previous.open(QIODevice::ReadOnly) && previous.readAll() == bytes)
        return;
    const QString failure = FileReplacement::replace(copy, bytes);
    if (!failure.isEmpty())
        report(QStringLiteral("The last good copy of the settings was not written: ") + failure);
}

RegistryHives::Recovery RegistryHives::recover(RegistryRoot root) const {
    const QString file = fileOf(root);
    if (file.isEmpty())
        return {Recovery::Outcome::Good, {}};
    const QString copy = lastGoodFileOf(file);
    const bool fileExists = FileStamp::of(file).size >= 0 || QFileInfo(file).isSymLink();
    const bool copyExists = FileStamp::of(copy).size >= 0;
    QString reason = QStringLiteral("it is missing");
    if (fileExists) {
        if (readFile(file, &reason)) {
            refreshLastGoodCopy(file, copy);
            return {Recovery::Outcome::Good, {}};
        }
    } else if (!copyExists) {
        return {Recovery::Outcome::Absent, {}};
    }

    QString copyReason = QStringLiteral("there is none");
    QFile copyInput(copy);
    if (copyExists && readFile(copy, &copyReason) && copyInput.open(QIODevice::ReadOnly)) {
        const QByteArray contents = copyInput.readAll();
        QString text = QStringLiteral("The settings file ") + file +
                       QStringLiteral(" cannot be read (") + reason +
                       QStringLiteral("); the settings of its last good copy ") + copy +
                       QStringLiteral(" are used");
        if (fileExists) {
            const QString damaged = file + QLatin1String(kDamagedSuffix);
            QFile::remove(damaged);
            if (QFile::rename(file, damaged))
                text += QStringLiteral(", and the unreadable file is kept as ") + damaged;
        }
        const QString failure = FileReplacement::replace(file, contents);
        if (!failure.isEmpty())
            text += QStringLiteral("; the copy could not take its place: ") + failure;
        return {Recovery::Outcome::Restored, text};
    }
    if (!copyExists)
        copyReason = QStringLiteral("there is none");
    return {Recovery::Outcome::Unreadable,
            QStringLiteral("The settings file ") + file + QStringLiteral(" cannot be read (") +
                reason + QStringLiteral("), and its last good copy ") + copy +
                QStringLiteral(" cannot be used (") + copyReason + u')'};
}

QVariant RegistryHives::value(RegistryRoot root, const QString& keyPath,
                              const QString& name) const {
    try {
        const QString file = fileOf(root);
        if (file.isEmpty()) {
            const auto settings = nativeRoot(root);
            if (settings->status() != QSettings::NoError)
                return {};
            settings->beginGroup(groupPath(keyPath));
            return settings->value(name);
        }
        return readValues(file).value(canonicalGroup(groupPath(keyPath)) + u'/' + name);
    } catch (...) {
        return {};
    }
}

std::vector<std::pair<QString, QVariant>> RegistryHives::keyValues(RegistryRoot root,
                                                                   const QString& keyPath) const {
    std::vector<std::pair<QString, QVariant>> result;
    try {
        const QString file = fileOf(root);
        if (file.isEmpty()) {
            const auto settings = nativeRoot(root);
            settings->beginGroup(groupPath(keyPath));
            for (const QString& name : settings->childKeys())
                result.emplace_back(name, settings->value(name));
            return result;
        }
        const QString prefix = canonicalGroup(groupPath(keyPath)) + u'/';
        const Values values = readValues(file);
        for (auto it = values.lowerBound(prefix); it != values.cend(); ++it) {
            if (!it.key().startsWith(prefix))
                break;
            const QString name = it.key().mid(prefix.size());
            if (!name.contains(u'/'))
                result.emplace_back(name, it.value());
        }
    } catch (...) {
        result.clear();
    }
    return result;
}

QStringList RegistryHives::valueNames(RegistryRoot root, const QString& keyPath) const {
    QStringList names;
    for (const auto& [name, value] : keyValues(root, keyPath))
        names << name;
    return names;
}

bool RegistryHives::keyExists(RegistryRoot root, const QString& keyPath) const {
    try {
        const QString file = fileOf(root);
        if (file.isEmpty()) {
            const auto settings = nativeRoot(root);
            if (settings->status() != QSettings::NoError)
                return false;
            settings->beginGroup(groupPath(keyPath));
            return !settings->childKeys().isEmpty() || !settings->childGroups().isEmpty();
        }
        const QString prefix = canonicalGroup(groupPath(keyPath)) + u'/';
        const Values values = readValues(file);
        const auto it = values.lowerBound(prefix);
        return it != values.cend() && it.key().startsWith(prefix);
    } catch (...) {
        return false;
    }
}

QString RegistryHives::update(RegistryRoot root, const QString& keyPath, const QStringList& deleted,
                              const std::vector<std::pair<QString, QVariant>>& written) const {
    QString failure;
    try {
        for (const auto& [name, value] : written) {
            if (!writableName(name)) {
                failure = QStringLiteral("The value name \"") + name +
                          QStringLiteral("\" cannot be written under ") + keyPath;
                break;
            }
        }
        const QString file = fileOf(root);
        if (!failure.isEmpty()) {
            // nothing is written
        } else if (file.isEmpty()) {
            const auto settings = nativeRoot(root);
            settings->beginGroup(groupPath(keyPath));
            for (const QString& name : deleted)
                settings->remove(name);
            for (const auto& [name, value] : written) {
                if (value.isValid())
                    settings->setValue(name, value);
                else
                    settings->remove(name);
            }
            settings->endGroup();
            settings->sync();
            if (settings->status() != QSettings::NoError)
                failure = QStringLiteral("Could not write the values under ") + rootName(root) +
                          u'\\' + keyPath;
        } else {
            const QString group = canonicalGroup(groupPath(keyPath)) + u'/';
            std::optional<Values> read = readFile(file);
            if (!read)
                throw TarvoError(file + QStringLiteral(" cannot be read; it is left as it is"));
            Values values = std::move(*read);
            for (const QString& name : deleted)
                values.remove(group + name);
            for (const auto& [name, value] : written) {
                if (value.isValid())
                    values.insert(group + name, value);
                else
                    values.remove(group + name);
            }
            failure = writeFile(file, values);
        }
    } catch (const std::exception& error) {
        failure = QStringLiteral("Could not write the values under ") + keyPath +
                  QStringLiteral(": ") + describeError(error);
    }
    if (!failure.isEmpty())
        report(failure);
    return failure;
}
