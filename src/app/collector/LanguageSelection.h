#pragma once

#include <memory>

#include <QString>
#include <QTranslator>

class RegistryHives;

// Chooses the user-interface language: the Orvanta "Language" value of the current user (a
// Windows locale identifier), else the system's locale. The translation module beside the
// executable is named after the executable with the language's three-letter abbreviation as
// extension ("tarvo-collect.SVE.qm"); when that is missing any module whose abbreviation
// differs only in the third letter is taken. Without a module the built-in English texts stay.
class LanguageSelection {
public:
    static int readLanguageId(const RegistryHives& hives);
    // The three-letter abbreviation of a locale identifier, "ENU" when unknown.
    static QString abbreviationOf(int localeId);
    // The module file for the language, or an empty text when there is none.
    static QString findModule(const QString& executablePath, int localeId);
    // Loads and installs the module; returns the translator (null when none was loaded).
    static std::unique_ptr<QTranslator> install(const QString& executablePath, int localeId);
};
