#include <gtest/gtest.h>

#include <QFile>

#include "SettingsStore.h"
#include "TempRoot.h"

namespace {

QString tarvoHive(const QString& values) {
    return QString::fromLatin1(kTarvoSection) + values;
}

} // namespace

TEST(SettingsStore, MissingSettingsReadAsTheirDefaults) {
    TempRoot root;
    const SettingsStore store(root.hives(), RegistryRoot::CurrentUser);
    EXPECT_EQ(store.read(Setting::CommunicationProtocol), "XML");
    EXPECT_EQ(store.read(Setting::Port), 13000);
    EXPECT_EQ(store.read(Setting::PortOther), 13000);
    EXPECT_EQ(store.read(Setting::ClientSocketPort), 13999);
    EXPECT_EQ(store.read(Setting::CommunicationTimeout), 10);
    EXPECT_EQ(store.read(Setting::MessageMaxValue), 20);
    EXPECT_EQ(store.read(Setting::Interval), 30);
    EXPECT_EQ(store.read(Setting::MedianFilterValue), 15);
    EXPECT_EQ(store.read(Setting::TimerInterval), 1000);
    EXPECT_EQ(store.read(Setting::FilterFunction), "Median");
    EXPECT_EQ(store.read(Setting::DebugFolder), "");
    EXPECT_FALSE(store.read(Setting::AutoStart));
    EXPECT_FALSE(store.read(Setting::NoOrvanta));
    EXPECT_TRUE(store.read(Setting::Automatic));
    EXPECT_TRUE(store.readUseTarvoSettings());
    EXPECT_FALSE(store.readBool(QStringLiteral("NoSuchValue")));
    EXPECT_EQ(store.readInteger(QStringLiteral("NoSuchValue"), 77), 77);
    EXPECT_EQ(store.readText(QStringLiteral("NoSuchValue")), "");
}

TEST(SettingsStore, ValuesOfTheWrongTypeReadAsTheirDefaults) {
    TempRoot root;
    root.writeHive(RegistryRoot::CurrentUser,
                   tarvoHive("Port=13500\n"             // text where an integer belongs
                             "HostOther=dword:5\n"      // integer where a text belongs
                             "AutoStart=yes\n"          // text where a boolean belongs
                             "UseTarvoSettings=false\n" // text: default true stays
                             "PortOther=dword:banana\n" // not a number: a text
                             "CommunicationTimeout=dword:30\n"));
    const SettingsStore store(root.hives(), RegistryRoot::CurrentUser);
    EXPECT_EQ(store.read(Setting::Port), 13000);
    EXPECT_EQ(store.read(Setting::HostOther), "");
    EXPECT_FALSE(store.read(Setting::AutoStart));
    EXPECT_TRUE(store.readUseTarvoSettings());
    EXPECT_EQ(store.read(Setting::PortOther), 13000);
    EXPECT_EQ(store.read(Setting::CommunicationTimeout), 30);
}

TEST(SettingsStore, IntegersBooleansAndTextsAreReadAsStored) {
    TempRoot root;
    root.writeHive(RegistryRoot::CurrentUser, tarvoHive("Port=dword:0x3200\n"
                                                        "AutoHide=dword:7\n"
                                                        "AutoCreate=dword:0\n"
                                                        "DebugFolder=C:\\Logs\\Tarvo\\\n"
                                                        "HostOther=sz:dword:not a number\n"
                                                        "IDReduction = dword:2 \n"));
    const SettingsStore store(root.hives(), RegistryRoot::CurrentUser);
    EXPECT_EQ(store.read(Setting::Port), 0x3200);
    EXPECT_TRUE(store.read(Setting::AutoHide)) << "any non-zero integer is true";
    EXPECT_FALSE(store.read(Setting::AutoCreate));
    EXPECT_EQ(store.read(Setting::DebugFolder), "C:\\Logs\\Tarvo\\") << "no escape processing";
    EXPECT_EQ(store.read(Setting::HostOther), "dword:not a number");
    EXPECT_EQ(store.read(Setting::IDReduction), 2);
}

TEST(SettingsStore, WritersCreateTheKeyAndKeepTypes) {
    TempRoot root;
    const SettingsStore store(root.hives(), RegistryRoot::CurrentUser);
    store.writeInteger(QStringLiteral("Port"), 14000);
    store.writeBool(QStringLiteral("AutoStart"), true);
    store.writeText(QStringLiteral("HostOther"), QStringLiteral("lab-dm.local"));
    store.writeText(QStringLiteral("DuplicateToNetworkLocation"), QStringLiteral("dword:12"));
    store.writeUseTarvoSettings(false);

    const SettingsStore reread(root.hives(), RegistryRoot::CurrentUser);
    EXPECT_EQ(reread.read(Setting::Port), 14000);
    EXPECT_TRUE(reread.read(Setting::AutoStart));
    EXPECT_EQ(reread.read(Setting::HostOther), "lab-dm.local");
    EXPECT_EQ(reread.read(Setting::DuplicateToNetworkLocation), "dword:12");
    EXPECT_FALSE(reread.readUseTarvoSettings());
    EXPECT_EQ(reread.readText(QStringLiteral("Port")), "") << "an integer is not a text";

    const QString file =
        QString::fromUtf8(root.readFile(root.hives().fileOf(RegistryRoot::CurrentUser)));
    EXPECT_TRUE(file.contains(
        QStringLiteral("[SOFTWARE\\Keldamed AB\\Panoptra\\External Collect\\1.0\\Tarvo]")));
    EXPECT_TRUE(file.contains(QStringLiteral("Port=dword:14000")));
    EXPECT_TRUE(file.contains(QStringLiteral("AutoStart=dword:1")));

    store.deleteValue(QStringLiteral("Port"));
    EXPECT_EQ(reread.read(Setting::Port), 13000);
    EXPECT_TRUE(reread.valueNames().contains(QStringLiteral("HostOther")));
    EXPECT_FALSE(reread.valueNames().contains(QStringLiteral("Port")));
}

TEST(SettingsStore, HandEditedKeyNamesInOtherLetterCaseStillCount) {
    TempRoot root;
    root.writeHive(RegistryRoot::CurrentUser,
                   "[software\\keldamed ab\\panoptra\\external collect\\1.0\\tarvo]\n"
                   "Port=dword:15000\n");
    EXPECT_EQ(SettingsStore(root.hives(), RegistryRoot::CurrentUser).read(Setting::Port), 15000);
}

TEST(SettingsStore, UnreadableSettingsFileGivesDefaultsAndWritesDoNotThrow) {
    TempRoot root;
    // A folder where the settings file should be: nothing can be read or written.
    root.writeFile(QStringLiteral("HKEY_CURRENT_USER.ini/placeholder"), "x");
    const SettingsStore store(root.hives(), RegistryRoot::CurrentUser);
    EXPECT_EQ(store.read(Setting::Port), 13000);
    store.writeInteger(QStringLiteral("Port"), 14000);
    EXPECT_EQ(store.read(Setting::Port), 13000);
}

TEST(SettingsStore, HkeyChoosesTheRootAndIsReadOnlyFromTheLocalMachine) {
    TempRoot root;
    EXPECT_EQ(SettingsStore::chooseRoot(root.hives()), RegistryRoot::CurrentUser) << "missing";

    root.writeHive(RegistryRoot::LocalMachine, tarvoHive("HKEY=LOCAL_MACHINE\n"));
    EXPECT_EQ(SettingsStore::chooseRoot(root.hives()), RegistryRoot::LocalMachine);

    root.writeHive(RegistryRoot::LocalMachine, tarvoHive("HKEY=CURRENT_USER\n"));
    EXPECT_EQ(SettingsStore::chooseRoot(root.hives()), RegistryRoot::CurrentUser);

    root.writeHive(RegistryRoot::LocalMachine, tarvoHive("HKEY=local_machine\n"));
    EXPECT_EQ(SettingsStore::chooseRoot(root.hives()), RegistryRoot::CurrentUser)
        << "only the exact text selects the local machine";

    root.writeHive(RegistryRoot::LocalMachine, QString());
    root.writeHive(RegistryRoot::CurrentUser, tarvoHive("HKEY=LOCAL_MACHINE\n"));
    EXPECT_EQ(SettingsStore::chooseRoot(root.hives()), RegistryRoot::CurrentUser)
        << "HKEY under the current user is not consulted";
}

TEST(SettingsStore, EachRootKeepsItsOwnValues) {
    TempRoot root;
    root.writeHive(RegistryRoot::LocalMachine, tarvoHive("Port=dword:14001\n"));
    root.writeHive(RegistryRoot::CurrentUser, tarvoHive("Port=dword:14002\n"));
    EXPECT_EQ(SettingsStore(root.hives(), RegistryRoot::LocalMachine).read(Setting::Port), 14001);
    EXPECT_EQ(SettingsStore(root.hives(), RegistryRoot::CurrentUser).read(Setting::Port), 14002);
}
