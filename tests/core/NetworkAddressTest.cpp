#include <gtest/gtest.h>

#include "NetworkAddress.h"

namespace {

struct AddressCase {
    const char* text;
    const char* address; // as QHostAddress writes it; nullptr: no address
};

struct RangeCase {
    const char* text;
    const char* network; // nullptr: no range
    int length;
};

struct HostCase {
    const char* text;
    bool hostName;
};

} // namespace

TEST(NetworkAddress, ReadsOnlyStrictAddresses) {
    const AddressCase cases[] = {
        {"10.0.0.1", "10.0.0.1"},
        {"010.0.0.1", "10.0.0.1"}, // a leading zero is decimal, never octal
        {"192.168.001.010", "192.168.1.10"},
        {"000.000.000.000", "0.0.0.0"},
        {"255.255.255.255", "255.255.255.255"},
        {" 127.0.0.1 ", "127.0.0.1"},
        {"256.0.0.1", nullptr},
        {"0010.0.0.1", nullptr},
        {"127.1", nullptr}, // shorthand
        {"127.0.1", nullptr},
        {"2130706433", nullptr},
        {"0x7f.0.0.1", nullptr}, // hexadecimal
        {"0x7f000001", nullptr},
        {"1.2.3.", nullptr},
        {".1.2.3.4", nullptr},
        {"1..2.3", nullptr},
        {"1.2.3.4.5", nullptr},
        {"10.0.0. 1", nullptr},
        {"10.0.0.1x", nullptr},
        {"+1.2.3.4", nullptr},
        {"\u0661.2.3.4", nullptr}, // a digit of another script
        {"", nullptr},
        {"ward3.local", nullptr},
        {"::", "::"},
        {"::1", "::1"},
        {"fd00::17", "fd00::17"},
        {"FD00:0:0:0:0:0:0:17", "fd00::17"},
        {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},
        {"1::", "1::"},
        {"::ffff:10.0.0.1", "::ffff:10.0.0.1"},
        {"::ffff:010.0.0.1", "::ffff:10.0.0.1"},
        {"1:2:3:4:5:6:1.2.3.4", "1:2:3:4:5:6:102:304"},
        {"::ffff:127.1", nullptr},
        {"1:2:3:4:5:6:7", nullptr},
        {"1:2:3:4:5:6:7:8:9", nullptr},
        {"1:2:3:4:5:6:7::8", nullptr},
        {"1::2::3", nullptr},
        {":::", nullptr},
        {":1::", nullptr},
        {"1::2:", nullptr},
        {"12345::", nullptr},
        {"fe80::1%eth0", nullptr},
        {"[::1]", nullptr},
        {"::g", nullptr},
    };
    for (const auto& c : cases) {
        const auto address = NetworkAddress::parse(QString::fromUtf8(c.text));
        if (c.address == nullptr) {
            EXPECT_FALSE(address.has_value())
                << c.text << " read as " << address->toString().toStdString();
        } else {
            ASSERT_TRUE(address.has_value()) << c.text;
            EXPECT_EQ(address->toString(), QString::fromLatin1(c.address)) << c.text;
            EXPECT_EQ(NetworkAddress::parseHost(QString::fromUtf8(c.text)), address) << c.text;
        }
    }
}

TEST(NetworkAddress, ReadsRangesWithTheirLengthLimits) {
    const RangeCase cases[] = {
        {"10.1.2.0/24", "10.1.2.0", 24},
        {"010.1.2.0/24", "10.1.2.0", 24},
        {"0.0.0.0/0", "0.0.0.0", 0},
        {"10.1.2.3/32", "10.1.2.3", 32},
        {"10.1.2.3/032", "10.1.2.3", 32},
        {"10.1.2.3", "10.1.2.3", 32},
        {"::/0", "::", 0},
        {"fd00::/8", "fd00::", 8},
        {"::1/128", "::1", 128},
        {"::1", "::1", 128},
        {"::ffff:127.0.0.1", "127.0.0.1", 32}, // one mapped address is the IPv4 address
        {"10.1.2.0/33", nullptr, 0},
        {"::/129", nullptr, 0},
        {"10.1.2.0/", nullptr, 0},
        {"10.1.2.0/-1", nullptr, 0},
        {"10.1.2.0/+8", nullptr, 0},
        {"10.1.2.0/0x8", nullptr, 0},
        {"10.1.2.0/0008", nullptr, 0},
        {"10.1.2.0 /24", nullptr, 0},
        {"10.1.2.0/ 24", nullptr, 0},
        {"10.1/16", nullptr, 0},
        {"/8", nullptr, 0},
        {"::ffff:127.0.0.0/120", nullptr, 0}, // IPv4 peers are matched as IPv4
        {"::ffff:0:0/96", nullptr, 0},
        {"10.0.0.0/8/8", nullptr, 0},
    };
    for (const auto& c : cases) {
        const auto range = NetworkAddress::parseRange(QString::fromUtf8(c.text));
        if (c.network == nullptr) {
            EXPECT_FALSE(range.has_value()) << c.text;
        } else {
            ASSERT_TRUE(range.has_value()) << c.text;
            EXPECT_EQ(range->network.toString(), QString::fromLatin1(c.network)) << c.text;
            EXPECT_EQ(range->length, c.length) << c.text;
        }
    }
}

TEST(NetworkAddress, HostNamesAreNamesNoResolverReadsAsAnAddress) {
    const HostCase cases[] = {
        {"localhost", true},
        {"ward3.local", true},
        {"lab-dm.example.org.", true},
        {"1e100.net", true},
        {"cafe", true},
        {"10.0.0.x", true},
        {"10.0.7", false}, // shorthand of 10.0.0.7 to a resolver
        {"127.1", false},
        {"0x7f000001", false},
        {"0x7f.1", false},
        {"1.2.3.", false},
        {"1.2.3.4.5", false},
        {"10.0.0.1", false}, // an address, not a name
        {"", false},
        {"ward 3", false},
        {"-ward", false},
        {"ward..local", false},
        {"ward3/local", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NetworkAddress::isHostName(QString::fromUtf8(c.text)), c.hostName) << c.text;
}

TEST(NetworkAddress, MappedIpv4PeersAreSeenAsIpv4) {
    EXPECT_EQ(NetworkAddress::plain(QHostAddress(QStringLiteral("::ffff:10.0.0.1"))),
              QHostAddress(QStringLiteral("10.0.0.1")));
    EXPECT_EQ(NetworkAddress::plain(QHostAddress(QStringLiteral("::1"))).toString(), "::1");
    EXPECT_EQ(NetworkAddress::plain(QHostAddress(QStringLiteral("::"))).toString(), "::");
    EXPECT_EQ(NetworkAddress::plain(QHostAddress(QStringLiteral("10.0.0.1"))).toString(),
              "10.0.0.1");
}
