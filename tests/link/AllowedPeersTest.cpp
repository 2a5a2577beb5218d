#include <gtest/gtest.h>

#include "AllowedPeers.h"

TEST(AllowedPeers, AddressesAndRangesAdmitTheirPeersOnly) {
    const AllowedPeers peers(QStringLiteral(" 127.0.0.1 ,10.1.2.0/24,,fd00::/8"));
    EXPECT_FALSE(peers.open());
    EXPECT_TRUE(peers.malformed().isEmpty());
    EXPECT_TRUE(peers.allows(QHostAddress(QStringLiteral("127.0.0.1"))));
    EXPECT_TRUE(peers.allows(QHostAddress(QStringLiteral("::ffff:127.0.0.1"))))
        << "an IPv4 peer on an IPv6 socket";
    EXPECT_FALSE(peers.allows(QHostAddress(QStringLiteral("127.0.0.2"))));
    EXPECT_TRUE(peers.allows(QHostAddress(QStringLiteral("10.1.2.0"))));
    EXPECT_TRUE(peers.allows(QHostAddress(QStringLiteral("10.1.2.255"))));
    EXPECT_FALSE(peers.allows(QHostAddress(QStringLiteral("10.1.3.1"))));
    EXPECT_TRUE(peers.allows(QHostAddress(QStringLiteral("fd00::17"))));
    EXPECT_FALSE(peers.allows(QHostAddress(QStringLiteral("fe80::1"))));
}

TEST(AllowedPeers, EmptyAdmitsEveryoneAndUnreadableEntriesAreIgnored) {
    for (const QString& empty : {QString(), QStringLiteral(" "), QStringLiteral(" , ,")}) {
        const AllowedPeers peers(empty);
        EXPECT_TRUE(peers.open());
        EXPECT_TRUE(peers.allows(QHostAddress(QStringLiteral("192.0.2.1"))));
    }
    const AllowedPeers mixed(QStringLiteral("ward3.local,127.0.0.1,10.0.0.0/33,10.0.0.300"));
    EXPECT_EQ(mixed.malformed(), (QStringList{"ward3.local", "10.0.0.0/33", "10.0.0.300"}));
    EXPECT_FALSE(mixed.refusesEveryone());
    EXPECT_TRUE(mixed.allows(QHostAddress(QStringLiteral("127.0.0.1"))));
    EXPECT_FALSE(mixed.allows(QHostAddress(QStringLiteral("10.0.0.1"))));

    const AllowedPeers unreadable(QStringLiteral("ward3.local, 10.0.7/"));
    EXPECT_TRUE(unreadable.refusesEveryone());
    EXPECT_FALSE(unreadable.allows(QHostAddress(QStringLiteral("127.0.0.1"))));
}
