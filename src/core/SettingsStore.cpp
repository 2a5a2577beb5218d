#include "SettingsStore.h"

namespace {

bool holdsText(const QVariant& value) {
    return value.metaType().id() == QMetaType::QString;
}

} // namespace

QVariant readRegistryValue(const RegistryHives& hives, RegistryRoot root, const QString& keyPath,
                           const QString& name) {
    return hives.value(root, keyPath, name);
}

SettingsStore::SettingsStore(const RegistryHives& hives, RegistryRoot root)
    : m_hives(hives), m_root(root) {}

RegistryRoot SettingsStore::chooseRoot(const RegistryHives& hives) {
    const SettingsStore machine(hives, RegistryRoot::LocalMachine);
    return machine.read(Setting::HKEY) == QLatin1String(Setting::kLocalMachineChoice)
               ? RegistryRoot::LocalMachine
               : RegistryRoot::CurrentUser;
}

QVariant SettingsStore::readRaw(const QString& name) const {
    return readRegistryValue(m_hives, m_root, QLatin1String(Setting::kKeyPath), name);
}

QString SettingsStore::writeRaw(const QString& name, const QVariant& value) const {
    // A value that cannot be written keeps its old contents; the failure is reported by the
    // hives.
    return m_hives.update(m_root, QLatin1String(Setting::kKeyPath), {}, {{name, value}});
}

void SettingsStore::logChange(const char* name, const QString& before, const QString& after) const {
    if (before != after && m_changeLog)
        m_changeLog(QStringLiteral("Setting ") + QLatin1String(name) +
                    QStringLiteral(" changed from ") + before + QStringLiteral(" to ") + after);
}

void SettingsStore::write(const Setting::Boolean& setting, bool value) const {
    writeBool(QLatin1String(setting.name), value);
}

void SettingsStore::write(const Setting::Integer& setting, int value) const {
    writeInteger(QLatin1String(setting.name), value);
}

void SettingsStore::write(const Setting::Text& setting, const QString& value) const {
    writeText(QLatin1String(setting.name), value);
}

void SettingsStore::change(const Setting::Boolean& setting, bool value) const {
    const bool before = read(setting);
    if (writeRaw(QLatin1String(setting.name), QVariant(qint32(value ? 1 : 0))).isEmpty())
        logChange(setting.name, QString::number(int(before)), QString::number(int(value)));
}

void SettingsStore::change(const Setting::Integer& setting, int value) const {
    const int before = read(setting);
    if (writeRaw(QLatin1String(setting.name), QVariant(qint32(value))).isEmpty())
        logChange(setting.name, QString::number(before), QString::number(value));
}

void SettingsStore::change(const Setting::Text& setting, const QString& value) const {
    const QString before = read(setting);
    if (writeRaw(QLatin1String(setting.name), QVariant(value)).isEmpty())
        logChange(setting.name, u'"' + before + u'"', u'"' + value + u'"');
}

int SettingsStore::copyTo(RegistryRoot target) const {
    if (target == m_root)
        return 0;
    const QString key = QLatin1String(Setting::kKeyPath);
    const QString hkey = QLatin1String(Setting::HKEY.name);
    std::vector<std::pair<QString, QVariant>> written;
    QStringList present;
    for (auto& [name, value] : m_hives.keyValues(m_root, key)) {
        if (name == hkey)
            continue;
        present << name;
        written.emplace_back(name, value);
    }
    QStringList deleted;
    for (const QString& name : m_hives.valueNames(target, key)) {
        if (name != hkey && !present.contains(name))
            deleted << name;
    }
    if (!m_hives.update(target, key, deleted, written).isEmpty())
        return -1;
    int copied = int(written.size());
    for (const char* other : {OtherKey::kFilePaths20, OtherKey::kFilePaths10}) {
        const QString path = QLatin1String(other);
        if (!m_hives.keyExists(m_root, path))
            continue;
        const auto values = m_hives.keyValues(m_root, path);
        if (m_hives.update(target, path, {}, values).isEmpty())
            copied += int(values.size());
    }
    return copied;
}

void SettingsStore::replaceTexts(const QStringList& deleted,
                                 const std::vector<std::pair<QString, QString>>& written) const {
    std::vector<std::pair<QString, QVariant>> values;
    values.reserve(written.size());
    for (const auto& [name, text] : written)
        values.emplace_back(name, QVariant(text));
    m_hives.update(m_root, QLatin1String(Setting::kKeyPath), deleted, values);
}

bool SettingsStore::readBool(const QString& name, bool defaultValue) const {
    const QVariant value = readRaw(name);
    return isRegistryInteger(value) ? value.toInt() != 0 : defaultValue;
}

int SettingsStore::readInteger(const QString& name, int defaultValue) const {
    const QVariant value = readRaw(name);
    return isRegistryInteger(value) ? value.toInt() : defaultValue;
}

QString SettingsStore::readText(const QString& name, const QString& defaultValue) const {
    const QVariant value = readRaw(name);
    return holdsText(value) ? value.toString() : defaultValue;
}

void SettingsStore::writeBool(const QString& name, bool value) const {
    writeRaw(name, QVariant(qint32(value ? 1 : 0)));
}

void SettingsStore::writeInteger(const QString& name, int value) const {
    writeRaw(name, QVariant(qint32(value)));
}

void SettingsStore::writeText(const QString& name, const QString& value) const {
    writeRaw(name, QVariant(value));
}

void SettingsStore::deleteValue(const QString& name) const {
    writeRaw(name, QVariant());
}

QStringList SettingsStore::valueNames() const {
    return m_hives.valueNames(m_root, QLatin1String(Setting::kKeyPath));
}

std::vector<std::pair<QString, QString>> SettingsStore::readTexts(const QString& prefix) const {
    std::vector<std::pair<QString, QString>> values;
    for (const auto& [name, value] : m_hives.keyValues(m_root, QLatin1String(Setting::kKeyPath))) {
        if (name.startsWith(prefix))
            values.emplace_back(name, holdsText(value) ? value.toString() : QString());
    }
    return values;
}

bool SettingsStore::read(const Setting::Boolean& setting) const {
    return readBool(QLatin1String(setting.name), setting.defaultValue);
}

int SettingsStore::read(const Setting::Integer& setting) const {
    return readInteger(QLatin1String(setting.name), setting.defaultValue);
}

QString SettingsStore::read(const Setting::Text& setting) const {
    return readText(QLatin1String(setting.name), QString::fromUtf8(setting.defaultValue));
}
