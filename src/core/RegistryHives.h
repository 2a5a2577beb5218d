#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "FileStamp.h"

// True when a value read from a key is an integer (a DWORD), false for text and the rest.
bool isRegistryInteger(const QVariant& value);

// The two registry roots the settings can live under.
enum class RegistryRoot { CurrentUser, LocalMachine };

// Reads and writes registry keys under either root. On Windows without a portable root these
// are the real registry roots; elsewhere each root is one file in a registry-like text form:
//
//   [SOFTWARE\Keldamed AB\Panoptra\External Collect\1.0\Tarvo]
//   Port=dword:13000
//   DebugFolder=C:\TEMP\ (texts are taken literally)
//
// A value written as "dword:" + decimal (or 0x + hex) number is an integer, anything else is
// text taken literally ("sz:" forces text). Integer and text stay distinct types, as in the
// registry, so a value of the wrong type can be recognised and read as its default. A text that
// the line form cannot hold literally (line breaks and other control characters, blanks at
// either end) is written "esc:" + the text with those characters and "%" as %XX (%uXXXX above
// 0xFF), so that every text reads back exactly as it was written.
//
// A file is rewritten as a whole through a checked replacement: a write that fails leaves the
// file as it was and is reported to the failure reporter. After every successful write the same
// contents go to the file's last good copy (file + ".lastgood"). A file that exists but cannot be
// read (larger than the read limit, not UTF-8 text, control characters, or a line that is neither
// a section, a value nor a comment) is never taken for an empty one: reads fall back to the last
// good copy, writes leave the file as it is, and recover() puts the copy in its place at start-up.
class RegistryHives {
public:
    RegistryHives(QString currentUserFile, QString localMachineFile);

    // Files larger than this are not read (and never written).
    static constexpr qint64 kLargestHive = qint64(64) << 20;
    static constexpr auto kLastGoodSuffix = ".lastgood";
    static constexpr auto kDamagedSuffix = ".damaged";
    static QString lastGoodFileOf(const QString& file) {
        return file + QLatin1String(kLastGoodSuffix);
    }

    // What start-up found of a root's settings file.
    struct Recovery {
        enum class Outcome {
            Absent,     // no file and no last good copy: a first start, the defaults apply
            Good,       // the file reads; its last good copy is brought up to date
            Restored,   // the file was missing or unreadable; its last good copy took its place
            Unreadable, // the file cannot be read and there is no readable last good copy
        };
        Outcome outcome = Outcome::Absent;
        // Restored and Unreadable: one line naming the file, the reason and what was done.
        QString text;
    };
    // Checks a root's settings file before the settings are used. An unreadable file is kept as
    // file + ".damaged" and its last good copy is put in its place.
    Recovery recover(RegistryRoot root) const;

    // One value of a key; an invalid variant when the key or value is missing or unreadable.
    QVariant value(RegistryRoot root, const QString& keyPath, const QString& name) const;
    // The value names of a key, in the order the key lists them.
    QStringList valueNames(RegistryRoot root, const QString& keyPath) const;
    // The names and values of a key in one reading, in the same order.
    std::vector<std::pair<QString, QVariant>> keyValues(RegistryRoot root,
                                                        const QString& keyPath) const;
    // True when the key holds at least one value or subkey: a key that "opens" for reading.
    bool keyExists(RegistryRoot root, const QString& keyPath) const;

    // Deletes the named values, then writes the given ones (an invalid variant deletes), in one
    // write of the root; the key is created when missing. Returns an empty text on success,
    // else the failure, which also goes to the failure reporter.
    QString update(RegistryRoot root, const QString& keyPath, const QStringList& deleted,
                   const std::vector<std::pair<QString, QVariant>>& written) const;

    // Where failed writes are reported (the event log, once it is open); standard error before.
    void setFailureReporter(std::function<void(const QString&)> reporter);

    // Converts a registry key path ("Software\Keldamed AB\...") to a group path ("Software/...").
    static QString groupPath(const QString& keyPath);

    // The line form of one value in a hive file, and the value a line form stands for.
    static QString formatValue(const QVariant& value);
    static QVariant parseValue(const QString& text);

    QString fileOf(RegistryRoot root) const;

private:
    using Values = QMap<QString, QVariant>; // "group/name" -> value

    struct CachedHive {
        FileStamp stamp;
        Values values;
    };

    // The values of a hive file; none when it exists but cannot be read (why, in reason).
    std::optional<Values> readFile(const QString& file, QString* reason = nullptr) const;
    // The values of a hive file, or of its last good copy when the file cannot be read.
    Values readValues(const QString& file) const;
    QString writeFile(const QString& file, const Values& values) const;
    void report(const QString& failure) const;
    // Renews the last good copy from a readable file that differs from it.
    void refreshLastGoodCopy(const QString& file, const QString& copy) const;

    QString m_currentUserFile;
    QString m_localMachineFile;
    std::function<void(const QString&)> m_reporter;
    mutable std::mutex m_mutex;
    mutable std::map<QString, CachedHive> m_cache;
};
