#include <gtest/gtest.h>

#include "Caption.h"
#include "QtPrinters.h"

TEST(Caption, ByRoleAndProtocol) {
    CaptionFacts facts;
    facts.version = QStringLiteral("1.2.3");
    EXPECT_EQ(buildCaption(facts),
              QStringLiteral("Tarvo Data Client (Ver. 1.2.3). , Communication Protocol =  XML"));

    facts.role = NetworkRole::AnalyzerLinked;
    facts.localAddress = QStringLiteral("10.1.2.3");
    facts.localHostName = QStringLiteral("icu-pc");
    facts.analyzerPort = 13001;
    EXPECT_EQ(buildCaption(facts), QStringLiteral("Tarvo Data Client (Ver. 1.2.3). IP = "
                                                  "10.1.2.3:13001, Host = icu-pc, Communication "
                                                  "Protocol =  XML"));

    facts.role = NetworkRole::DataClient;
    facts.dataHostName = QStringLiteral("orvanta-host");
    facts.dataHostAddress = QStringLiteral("10.1.2.4");
    facts.protocol = AnalyzerProtocol::Hl7;
    EXPECT_EQ(buildCaption(facts), QStringLiteral("Tarvo Data Client (Ver. 1.2.3).  - Connected to "
                                                  " Orvanta: orvanta-host (10.1.2.4), "
                                                  "Communication Protocol = HL7"));

    facts.role = NetworkRole::Standalone;
    facts.protocol = AnalyzerProtocol::AstmE1381;
    EXPECT_TRUE(
        buildCaption(facts).endsWith(QStringLiteral(", Communication Protocol = ASTM E-1381")));

    facts.relayEnabled = true;
    facts.relayHostSetting = QStringLiteral("lab-dm");
    facts.relayPortSetting = 14000;
    EXPECT_TRUE(buildCaption(facts).endsWith(QStringLiteral(", Host not foundlab-dm:14000")));

    facts.relayState = RelayConnectionState::Connected;
    facts.relayHostName = QStringLiteral("lab-dm.local");
    facts.relayAddress = QStringLiteral("10.1.2.5");
    facts.relayPort = 14000;
    EXPECT_TRUE(buildCaption(facts).endsWith(
        QStringLiteral(", Relaying HL7 data to lab-dm.local (10.1.2.5:14000)")));

    facts.version.clear();
    EXPECT_TRUE(buildCaption(facts).startsWith(
        QStringLiteral("Tarvo Data Client (Ver. Unknown version). ")));
}
