#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include "InstallationLayout.h"
#include "QtPrinters.h"
#include "RegistryHives.h"

// A throw-away portable installation root for one test: its own settings files, ini folder
// and drive C.
class TempRoot {
public:
    TempRoot();

    QString path() const { return m_dir.path(); }
    const InstallationLayout& layout() const { return m_layout; }
    const RegistryHives& hives() const { return m_hives; }

    // Writes a hive file (registry-like text) for the root.
    void writeHive(RegistryRoot root, const QString& text) const;
    // Writes a file below the root (folders created), returns its path.
    QString writeFile(const QString& relativePath, const QByteArray& bytes) const;
    QByteArray readFile(const QString& path) const;
    QString driveC(const QString& relative = {}) const { return m_layout.driveC + relative; }

private:
    QTemporaryDir m_dir;
    InstallationLayout m_layout;
    RegistryHives m_hives;
};

// A loopback TCP port that was free a moment ago, for servers a test starts.
int freeTcpPort();

// The settings key section header for hive texts.
inline const char* kTarvoSection =
    "[SOFTWARE\\Keldamed AB\\Panoptra\\External Collect\\1.0\\Tarvo]\n";
