#pragma once

#include "EventLog.h"

#include <functional>

#include <QString>

#include "InstallationLayout.h"
#include "RegistryHives.h"

// Finds the root folder of patient data: from "TarvoCollect.Ini" beside the executable, else
// from the Orvanta 2.0 or 1.0 "File Paths" registry key, else the default below "C:\TCA\".
// Every step is logged so that an engineer can see where the folder came from.
//
// The ini file's last good copy (beside it, + ".lastgood") follows every reading of the file. An
// ini file that exists but cannot be read is not passed over for the registry or the default:
// its last good copy is read instead (with an "Error(1): " line), and without one resolve()
// gives an empty text and failure() tells why.
class DataPathResolver {
public:
    using LogLine = std::function<void(const QString& line, LogSeverity severity)>;
    static constexpr auto kIniFileName = "TarvoCollect.Ini";

    DataPathResolver(const InstallationLayout& layout, const RegistryHives& hives,
                     RegistryRoot settingsRoot, LogLine log);

    // The folder for a path relative to the data installation, "DATA\" for DataRoot.
    QString resolve(const QString& relativePath) const;
    // Why the last resolve() found no folder (empty when it found one).
    QString failure() const { return m_failure; }

private:
    bool tryIniFile(const QString& relative, QString& result) const;
    void keepLastGoodCopy(const QString& iniPath, const QString& copy) const;
    bool tryRegistry(const QString& version, const QString& keyPath, const QString& relative,
                     QString& result) const;
    QString parentFolderOf(const QString& value) const;

    const InstallationLayout& m_layout;
    const RegistryHives& m_hives;
    RegistryRoot m_root;
    LogLine m_log;
    mutable QString m_failure;
};
