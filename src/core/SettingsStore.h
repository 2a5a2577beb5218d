#pragma once

#include <functional>
#include <utility>
#include <vector>

#include <QStringList>

#include "RegistryHives.h"
#include "SettingKeys.h"

// Reads and writes the values under the collector's settings key below the chosen root.
// Every call opens the key anew; no call raises. A reader returns the default when the key or
// the value is missing, cannot be read or has the wrong type; a writer creates the key and
// ignores failures.
class SettingsStore {
public:
    SettingsStore(const RegistryHives& hives, RegistryRoot root);

    // The root the settings live under: the value HKEY, always read from the local machine's
    // root, selects the local machine when it is "LOCAL_MACHINE", the current user otherwise.
    static RegistryRoot chooseRoot(const RegistryHives& hives);

    RegistryRoot root() const { return m_root; }
    // Every later read and write goes to the other root; whoever holds this store follows.
    void setRoot(RegistryRoot root) { m_root = root; }
    const RegistryHives& hives() const { return m_hives; }

    bool readBool(const QString& name, bool defaultValue = false) const;
    int readInteger(const QString& name, int defaultValue) const;
    QString readText(const QString& name, const QString& defaultValue = {}) const;

    // Writes by name, for values without a key of their own (a numbered patient entry) and for
    // what a test puts into a settings file by hand; the collector writes through its keys.
    void writeBool(const QString& name, bool value) const;
    void writeInteger(const QString& name, int value) const;
    void writeText(const QString& name, const QString& value) const;
    void deleteValue(const QString& name) const;
    QStringList valueNames() const;
    // The values whose names begin with the prefix, with their texts (empty for a value that is
    // not text), read in one opening of the key.
    std::vector<std::pair<QString, QString>> readTexts(const QString& prefix) const;
    // Deletes the named values and writes the texts in one opening of the key (a list of
    // patients is rewritten at once instead of value by value).
    void replaceTexts(const QStringList& deleted,
                      const std::vector<std::pair<QString, QString>>& written) const;

    bool read(const Setting::Boolean& setting) const;
    int read(const Setting::Integer& setting) const;
    QString read(const Setting::Text& setting) const;

    // Writes a value that the operator changes (the settings dialog, a command) and, when it
    // differs from the value in use before, hands the change log one line:
    // "Setting Port changed from 13000 to 14000" (texts in quotes). Nothing is logged for a
    // write that failed (the hives report it).
    void change(const Setting::Boolean& setting, bool value) const;
    void change(const Setting::Integer& setting, int value) const;
    void change(const Setting::Text& setting, const QString& value) const;
    void setChangeLog(std::function<void(const QString&)> log) { m_changeLog = std::move(log); }

    // Makes the settings key under the target root hold every value of this store's root and
    // nothing else (HKEY, which always lives under the local machine, stays as it is), and copies
    // the Orvanta "File Paths" keys this root holds. The settings in use then read the same from
    // either root. Returns the number of values copied, -1 when the target's settings key could not
    // be written (the hives report why).
    int copyTo(RegistryRoot target) const;

    // Writes a value without a trace in the change log (start-up, the program's own records).
    void write(const Setting::Boolean& setting, bool value) const;
    void write(const Setting::Integer& setting, int value) const;
    void write(const Setting::Text& setting, const QString& value) const;

private:
    QVariant readRaw(const QString& name) const;
    QString writeRaw(const QString& name, const QVariant& value) const;
    void logChange(const char* name, const QString& before, const QString& after) const;

    const RegistryHives& m_hives;
    RegistryRoot m_root;
    std::function<void(const QString&)> m_changeLog;
};

// Reads one value of any key below a root with the same never-raise rules.
QVariant readRegistryValue(const RegistryHives& hives, RegistryRoot root, const QString& keyPath,
                           const QString& name);
