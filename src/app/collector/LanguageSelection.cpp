#include "LanguageSelection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTranslator>

#include "SettingKeys.h"
#include "SettingsStore.h"

namespace {

struct KnownLanguage {
    int localeId;
    const char* abbreviation;
    QLocale::Language language;
    QLocale::Territory territory;
};

// Windows locale identifiers of the languages the maker's systems are used in.
constexpr KnownLanguage kLanguages[] = {
    {1033, "ENU", QLocale::English, QLocale::UnitedStates},
    {2057, "ENG", QLocale::English, QLocale::UnitedKingdom},
    {1053, "SVE", QLocale::Swedish, QLocale::Sweden},
    {1031, "DEU", QLocale::German, QLocale::Germany},
    {1036, "FRA", QLocale::French, QLocale::France},
    {1044, "NOR", QLocale::NorwegianBokmal, QLocale::Norway},
    {1030, "DAN", QLocale::Danish, QLocale::Denmark},
    {1035, "FIN", QLocale::Finnish, QLocale::Finland},
    {1043, "NLD", QLocale::Dutch, QLocale::Netherlands},
    {1040, "ITA", QLocale::Italian, QLocale::Italy},
    {3082, "ESN", QLocale::Spanish, QLocale::Spain},
    {1046, "PTB", QLocale::Portuguese, QLocale::Brazil},
    {2070, "PTG", QLocale::Portuguese, QLocale::Portugal},
    {1045, "PLK", QLocale::Polish, QLocale::Poland},
    {1029, "CSY", QLocale::Czech, QLocale::CzechRepublic},
    {1049, "RUS", QLocale::Russian, QLocale::Russia},
    {1041, "JPN", QLocale::Japanese, QLocale::Japan},
    {2052, "CHS", QLocale::Chinese, QLocale::China},
};

int systemLocaleId() {
    const QLocale system = QLocale::system();
    for (const KnownLanguage& known : kLanguages) {
        if (known.language == system.language() && known.territory == system.territory())
            return known.localeId;
    }
    for (const KnownLanguage& known : kLanguages) {
        if (known.language == system.language())
            return known.localeId;
    }
    return 1033;
}

QString moduleStem(const QString& executablePath) {
    const QFileInfo executable(executablePath);
    return executable.dir().filePath(executable.completeBaseName());
}

} // namespace

int LanguageSelection::readLanguageId(const RegistryHives& hives) {
    const QVariant value =
        readRegistryValue(hives, RegistryRoot::CurrentUser, QLatin1String(OtherKey::kLanguage),
                          QLatin1String(OtherKey::kLanguageValue));
    return isRegistryInteger(value) ? value.toInt() : systemLocaleId();
}

QString LanguageSelection::abbreviationOf(int localeId) {
    for (const KnownLanguage& known : kLanguages) {
        if (known.localeId == localeId)
            return QLatin1String(known.abbreviation);
    }
    return QStringLiteral("ENU");
}

QString LanguageSelection::findModule(const QString& executablePath, int localeId) {
    const QString stem = moduleStem(executablePath);
    const QString abbreviation = abbreviationOf(localeId);
    const QString exact = stem + u'.' + abbreviation + QStringLiteral(".qm");
    if (QFileInfo(exact).isFile())
        return exact;
    const QFileInfo stemInfo(stem);
    const QString pattern =
        stemInfo.fileName() + u'.' + abbreviation.left(2) + QStringLiteral("?.qm");
    const QStringList matches = stemInfo.dir().entryList({pattern}, QDir::Files, QDir::Name);
    return matches.isEmpty() ? QString() : stemInfo.dir().filePath(matches.first());
}

std::unique_ptr<QTranslator> LanguageSelection::install(const QString& executablePath,
                                                        int localeId) {
    const QString module = findModule(executablePath, localeId);
    if (module.isEmpty())
        return nullptr;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(module) || !QCoreApplication::installTranslator(translator.get()))
        return nullptr;
    return translator;
}
