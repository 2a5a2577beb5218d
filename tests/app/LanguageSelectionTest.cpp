#include <gtest/gtest.h>

#include "LanguageSelection.h"
#include "TempRoot.h"

TEST(LanguageSelection, ReadsTheOrvantaLanguageOfTheCurrentUser) {
    TempRoot root;
    root.writeHive(RegistryRoot::CurrentUser,
                   "[Software\\Keldamed AB\\Orvanta\\2.0\\General]\nLanguage=dword:1053\n");
    EXPECT_EQ(LanguageSelection::readLanguageId(root.hives()), 1053);
    EXPECT_EQ(LanguageSelection::abbreviationOf(1053), "SVE");
    EXPECT_EQ(LanguageSelection::abbreviationOf(424242), "ENU");
}

TEST(LanguageSelection, FindsTheModuleOrOneDifferingInTheThirdLetter) {
    TempRoot root;
    const QString executable = root.path() + "/tarvo-collect";
    EXPECT_EQ(LanguageSelection::findModule(executable, 1031), "") << "no modules at all";

    const QString nor = root.writeFile(QStringLiteral("tarvo-collect.NON.qm"), "x");
    EXPECT_EQ(LanguageSelection::findModule(executable, 1044), nor) << "NOR missing, NO? found";

    const QString deu = root.writeFile(QStringLiteral("tarvo-collect.DEU.qm"), "x");
    EXPECT_EQ(LanguageSelection::findModule(executable, 1031), deu);
    EXPECT_EQ(LanguageSelection::install(executable, 1031), nullptr)
        << "a file that is no translation module is not installed";
}
