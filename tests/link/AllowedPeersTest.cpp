#include <gtest/gtest.h>

#include "AllowedPeers.h"

namespace {

struct ListCase {
    const char* list;
    const char* peer;
    bool admitted;
};

} // namespace

TEST(AllowedPeers, EachListAdmitsTheAddressesItNamesOnly) {
    const ListCase cases[] = {
        {"127.0.0.1", "127.0.0.1", true},
        {"127.0.0.1", "::ffff:127.0.0.1", true}, // an IPv4 peer on an IPv6 socket
        {"127.0.0.1", "127.0.0.2", false},
        {" 127.0.0.1 ,10.1.2.0/24,,fd00::/8", "10.1.2.255", true},
        {" 127.0.0.1 ,10.1.2.0/24,,fd00::/8", "10.1.3.1", false},
        {" 127.0.0.1 ,10.1.2.0/24,,fd00::/8", "fd00::17", true},
        {" 127.0.0.1 ,10.1.2.0/24,,fd00::/8", "fe80::1", false},
        // A leading zero is decimal: 010.0.0.1 is 10.0.0.1, never 8.0.0.1.
        {"010.0.0.1", "10.0.0.1", true},
        {"010.0.0.1", "8.0.0.1", false},
        {"010.000.000.000/8", "10.200.1.1", true},
        {"010.000.000.000/8", "8.0.0.1", false},
        // Shorthand and hexadecimal name nothing.
        {"127.1", "127.0.0.1", false},
        {"0x7f.0.0.1", "127.0.0.1", false},
        {"2130706433", "127.0.0.1", false},
        // A list of separators or blanks admits no one.
        {",", "192.0.2.1", false},
        {" , ", "192.0.2.1", false},
        {" ", "192.0.2.1", false},
        {"", "192.0.2.1", true},
        // Ranges at their edges.
        {"0.0.0.0/0", "203.0.113.9", true},
        {"0.0.0.0/0", "2001:db8::1", false},
        {"::/0", "2001:db8::1", true},
        {"::/0", "::1", true},
        {"::/0", "::ffff:192.0.2.1", false}, // IPv4 peers are matched as IPv4
        {"10.1.2.3/32", "10.1.2.3", true},
        {"10.1.2.3/32", "10.1.2.4", false},
        {"10.0.0.0/33", "10.0.0.1", false},
        {"::1/128", "::1", true},
        // A mapped entry: one address is its IPv4 address, a range is unreadable.
        {"::ffff:127.0.0.1", "127.0.0.1", true},
        {"::ffff:127.0.0.0/120", "127.0.0.1", false},
        {"::ffff:127.0.0.0/120", "::ffff:127.0.0.1", false},
        {"ward3.local", "127.0.0.1", false},
    };
    for (const auto& c : cases) {
        const AllowedPeers peers(QString::fromLatin1(c.list));
        EXPECT_EQ(peers.allows(QHostAddress(QString::fromLatin1(c.peer))), c.admitted)
            << '"' << c.list << "\" with " << c.peer;
    }
}

TEST(AllowedPeers, UnreadableEntriesAreNamedAndANamelessListRefusesEveryone) {
    const AllowedPeers mixed(QStringLiteral("ward3.local,127.0.0.1,10.0.0.0/33,10.0.0.300, 127.1 "
                                            ",::ffff:127.0.0.0/120,10.0.0.1 10.0.0.2"));
    EXPECT_EQ(mixed.malformed(), (QStringList{"ward3.local", "10.0.0.0/33", "10.0.0.300", "127.1",
                                              "::ffff:127.0.0.0/120", "10.0.0.1 10.0.0.2"}));
    EXPECT_FALSE(mixed.refusesEveryone());
    EXPECT_TRUE(mixed.allows(QHostAddress(QStringLiteral("127.0.0.1"))));

    for (const char* list : {",", " , ", "ward3.local, 10.0.7/"}) {
        const AllowedPeers peers{QString::fromLatin1(list)};
        EXPECT_FALSE(peers.open()) << list;
        EXPECT_TRUE(peers.refusesEveryone()) << list;
    }
    EXPECT_TRUE(AllowedPeers(QString()).open());

    const AllowedPeers number = AllowedPeers::unreadableValue(QStringLiteral("dword:1"));
    EXPECT_TRUE(number.refusesEveryone());
    EXPECT_EQ(number.malformed(), QStringList{"dword:1"});
    EXPECT_FALSE(number.allows(QHostAddress(QStringLiteral("127.0.0.1"))));
}
