#include "DataPathResolver.h"

#include <QFile>
#include <QFileInfo>

#include "FileReplacement.h"
#include "IniFile.h"
#include "LogPrefixes.h"
#include "SettingKeys.h"
#include "SettingsStore.h"

namespace {
constexpr auto kTcaFolder = "C:\\TCA\\";
constexpr auto kDefaultTcaData = "C:\\TCA\\DATA";
} // namespace

DataPathResolver::DataPathResolver(const InstallationLayout& layout, const RegistryHives& hives,
                                   RegistryRoot settingsRoot, LogLine log)
    : m_layout(layout), m_hives(hives), m_root(settingsRoot), m_log(std::move(log)) {}

QString DataPathResolver::parentFolderOf(const QString& value) const {
    const QString native = m_layout.nativePath(value);
    const qsizetype cut = std::max(native.lastIndexOf(u'/'), native.lastIndexOf(u'\\'));
    return cut < 0 ? QString() : native.left(cut);
}

QString DataPathResolver::resolve(const QString& relativePath) const {
    QString relative = relativePath;
    if (relative.contains(QLatin1String(kTcaFolder)))
        relative.remove(0, 7);
    relative = m_layout.nativePath(relative);

    QString result;
    m_failure.clear();
    if (tryIniFile(relative, result) || !m_failure.isEmpty())
        return result;

    m_log(QStringLiteral("Trying to open the Orvanta 2.0 registry File path"), LogSeverity::Info);
    if (tryRegistry(QStringLiteral("2.0"), QLatin1String(OtherKey::kFilePaths20), relative, result))
        return result;
    m_log(QStringLiteral("Trying to open the Orvanta 1.0 registry File path"), LogSeverity::Info);
    if (tryRegistry(QStringLiteral("1.0"), QLatin1String(OtherKey::kFilePaths10), relative, result))
        return result;

    m_log(QStringLiteral("Falling back to default value"), LogSeverity::Info);
    result = m_layout.nativePath(QLatin1String(kTcaFolder)) + relative;
    m_log(QStringLiteral("Orvanta TCAData final value = ") + result, LogSeverity::Info);
    return result;
}

bool DataPathResolver::tryIniFile(const QString& relative, QString& result) const {
    const QString iniPath = m_layout.iniFolder + QLatin1String(kIniFileName);
    m_log(QStringLiteral("Trying to open ") + iniPath, LogSeverity::Info);
    if (!QFileInfo(iniPath).isFile())
        return false;
    const QString copy = iniPath + QLatin1String(RegistryHives::kLastGoodSuffix);
    IniFile::Lookup lookup =
        IniFile::read(iniPath, QStringLiteral("Orvanta"), QLatin1String(OtherKey::kTcaDataValue));
    if (lookup.status == IniFile::Status::FileUnreadable) {
        // Another data root would put the patients' data where no one looks for it.
        const QString reason = lookup.failure;
        lookup = QFileInfo(copy).isFile() ? IniFile::read(copy, QStringLiteral("Orvanta"),
                                                          QLatin1String(OtherKey::kTcaDataValue))
                                          : IniFile::Lookup{IniFile::Status::FileUnreadable,
                                                            {},
                                                            QStringLiteral("there is none")};
        if (lookup.status == IniFile::Status::FileUnreadable) {
            m_failure = iniPath + QStringLiteral(" cannot be read (") + reason +
                        QStringLiteral("), and its last good copy ") + copy +
                        QStringLiteral(" cannot be used (") + lookup.failure + u')';
            m_log(QLatin1String(LogPrefix::kSettingsFile) + m_failure, LogSeverity::Error);
            return false;
        }
        m_log(QLatin1String(LogPrefix::kSettingsFile) + iniPath +
                  QStringLiteral(" cannot be read (") + reason +
                  QStringLiteral("); its last good copy ") + copy + QStringLiteral(" is used"),
              LogSeverity::Error);
    } else {
        keepLastGoodCopy(iniPath, copy);
    }
    m_log(iniPath + QStringLiteral(" successfully opened"), LogSeverity::Info);
    const QString value = lookup.status == IniFile::Status::Found
                              ? lookup.value
                              : QString::fromLatin1(kDefaultTcaData);
    const QString folder = parentFolderOf(value);
    m_log(QStringLiteral("Orvanta TarvoCollect.Ini TCAData value = ") + folder, LogSeverity::Info);
    result = withTrailingSeparator(folder) + relative;
    m_log(QStringLiteral("Orvanta TCAData final value = ") + result, LogSeverity::Info);
    return true;
}

void DataPathResolver::keepLastGoodCopy(const QString& iniPath, const QString& copy) const {
    QFile input(iniPath);
    QFile previous(copy);
    if (!input.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = input.read(IniFile::kLargestIniFile + 1);
    if (previous.open(QIODevice::ReadOnly) && previous.readAll() == bytes)
        return;
    const QString failure = FileReplacement::replace(copy, bytes);
    if (!failure.isEmpty())
        m_log(QStringLiteral("The last good copy of ") + iniPath +
                  QStringLiteral(" was not written: ") + failure,
              LogSeverity::Info);
}

bool DataPathResolver::tryRegistry(const QString& version, const QString& keyPath,
                                   const QString& relative, QString& result) const {
    if (!m_hives.keyExists(m_root, keyPath))
        return false;
    const QString orvanta = QStringLiteral("Orvanta ") + version;
    m_log(orvanta + QStringLiteral(" registry File path successfully opened"), LogSeverity::Info);
    const QVariant value =
        readRegistryValue(m_hives, m_root, keyPath, QLatin1String(OtherKey::kTcaDataValue));
    if (value.metaType().id() == QMetaType::QString) {
        m_log(orvanta + QStringLiteral(" TCAData value does exist"), LogSeverity::Info);
        const QString folder = parentFolderOf(value.toString());
        m_log(orvanta + QStringLiteral(" TCAData value = ") + folder, LogSeverity::Info);
        result = withTrailingSeparator(folder) + relative;
    } else {
        result = m_layout.nativePath(QLatin1String(kTcaFolder)) + relative;
    }
    m_log(orvanta + QStringLiteral(" TCAData final value = ") + result, LogSeverity::Info);
    return true;
}
