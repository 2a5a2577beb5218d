#include "RegistryHives.h"

#include <map>

#include <QIODevice>

namespace {

constexpr auto kDwordPrefix = "dword:";
constexpr auto kTextPrefix = "sz:";

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

QVariant parseValue(const QString& text) {
    if (text.startsWith(QLatin1String(kTextPrefix)))
        return text.mid(int(qstrlen(kTextPrefix)));
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

QString formatValue(const QVariant& value) {
    if (isRegistryInteger(value))
        return QLatin1String(kDwordPrefix) + QString::number(value.toInt());
    const QString text = value.toString();
    if (text.startsWith(QLatin1String(kDwordPrefix), Qt::CaseInsensitive) ||
        text.startsWith(QLatin1String(kTextPrefix)))
        return QLatin1String(kTextPrefix) + text;
    return text;
}

bool readHive(QIODevice& device, QSettings::SettingsMap& map) {
    QString group;
    const QStringList lines = QString::fromUtf8(device.readAll()).split(u'\n');
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
        map.insert(key, parseValue(line.mid(equals + 1).trimmed()));
    }
    return true;
}

bool writeHive(QIODevice& device, const QSettings::SettingsMap& map) {
    std::map<QString, std::map<QString, QString>> sections;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const qsizetype slash = it.key().lastIndexOf(u'/');
        const QString group = slash < 0 ? QString() : it.key().left(slash);
        const QString name = it.key().mid(slash + 1);
        sections[group][name] = formatValue(it.value());
    }
    QString text;
    for (const auto& [group, values] : sections) {
        if (!text.isEmpty())
            text += u'\n';
        QString keyPath = group;
        keyPath.replace(u'/', u'\\');
        text += u'[' + keyPath + QStringLiteral("]\n");
        for (const auto& [name, value] : values)
            text += name + u'=' + value + u'\n';
    }
    return device.write(text.toUtf8()) >= 0;
}

QSettings::Format hiveFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("ini"), readHive, writeHive, Qt::CaseSensitive);
    return format;
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

std::unique_ptr<QSettings> RegistryHives::openRoot(RegistryRoot root) const {
    const QString file = fileOf(root);
    if (file.isEmpty()) {
        const QString native = root == RegistryRoot::CurrentUser
                                   ? QStringLiteral("HKEY_CURRENT_USER")
                                   : QStringLiteral("HKEY_LOCAL_MACHINE");
        return std::make_unique<QSettings>(native, QSettings::NativeFormat);
    }
    return std::make_unique<QSettings>(file, hiveFormat());
}

bool RegistryHives::keyExists(RegistryRoot root, const QString& keyPath) const {
    const auto settings = openRoot(root);
    if (settings->status() != QSettings::NoError)
        return false;
    settings->beginGroup(groupPath(keyPath));
    return !settings->childKeys().isEmpty() || !settings->childGroups().isEmpty();
}
