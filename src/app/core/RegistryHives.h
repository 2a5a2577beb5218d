#pragma once

#include <memory>

#include <QSettings>
#include <QString>

// True when a value read from a key is an integer (a DWORD), false for text and the rest.
bool isRegistryInteger(const QVariant& value);

// The two registry roots the settings can live under.
enum class RegistryRoot { CurrentUser, LocalMachine };

// Opens registry keys under either root. On Windows without a portable root these are the
// real registry roots; elsewhere each root is one file in a registry-like text form:
//
//   [SOFTWARE\Keldamed AB\Panoptra\External Collect\1.0\Tarvo]
//   Port=dword:13000
//   DebugFolder=C:\TEMP\ (texts are taken literally)
//
// A value written as "dword:" + decimal (or 0x + hex) number is an integer, anything else is
// text taken literally ("sz:" forces text). Integer and text stay distinct types, as in the
// registry, so a value of the wrong type can be recognised and read as its default.
class RegistryHives {
public:
    RegistryHives(QString currentUserFile, QString localMachineFile);

    // A settings object positioned at no group; key paths use "\" as in the registry.
    std::unique_ptr<QSettings> openRoot(RegistryRoot root) const;

    // True when the key holds at least one value or subkey: a key that "opens" for reading.
    bool keyExists(RegistryRoot root, const QString& keyPath) const;

    // Converts a registry key path ("Software\Keldamed AB\...") to a settings group path.
    static QString groupPath(const QString& keyPath);

    QString fileOf(RegistryRoot root) const;

private:
    QString m_currentUserFile;
    QString m_localMachineFile;
};
