#include "SettingsStore.h"

namespace {

bool holdsText(const QVariant& value) {
    return value.metaType().id() == QMetaType::QString;
}

const QString& settingsGroup() {
    static const QString group = RegistryHives::groupPath(QLatin1String(Setting::kKeyPath));
    return group;
}

} // namespace

QVariant readRegistryValue(const RegistryHives& hives, RegistryRoot root, const QString& keyPath,
                           const QString& name) {
    try {
        const auto settings = hives.openRoot(root);
        if (settings->status() != QSettings::NoError)
            return {};
        settings->beginGroup(RegistryHives::groupPath(keyPath));
        return settings->value(name);
    } catch (...) {
        return {};
    }
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

void SettingsStore::writeRaw(const QString& name, const QVariant& value) const {
    try {
        const auto settings = m_hives.openRoot(m_root);
        settings->beginGroup(settingsGroup());
        if (value.isValid())
            settings->setValue(name, value);
        else
            settings->remove(name);
        settings->endGroup();
        settings->sync();
    } catch (...) {
        // A setting that cannot be written keeps its old value.
    }
}

void SettingsStore::replaceTexts(const QStringList& deleted,
                                 const std::vector<std::pair<QString, QString>>& written) const {
    try {
        const auto settings = m_hives.openRoot(m_root);
        settings->beginGroup(settingsGroup());
        for (const QString& name : deleted)
            settings->remove(name);
        for (const auto& [name, value] : written)
            settings->setValue(name, value);
        settings->endGroup();
        settings->sync();
    } catch (...) {
        // Values that cannot be written keep their old contents.
    }
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
    try {
        const auto settings = m_hives.openRoot(m_root);
        settings->beginGroup(settingsGroup());
        return settings->childKeys();
    } catch (...) {
        return {};
    }
}

std::vector<std::pair<QString, QString>> SettingsStore::readTexts(const QString& prefix) const {
    std::vector<std::pair<QString, QString>> values;
    try {
        const auto settings = m_hives.openRoot(m_root);
        if (settings->status() != QSettings::NoError)
            return values;
        settings->beginGroup(settingsGroup());
        for (const QString& name : settings->childKeys()) {
            if (!name.startsWith(prefix))
                continue;
            const QVariant value = settings->value(name);
            values.emplace_back(name, holdsText(value) ? value.toString() : QString());
        }
    } catch (...) {
        values.clear();
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
