#pragma once

#include <optional>

#include <QHostAddress>
#include <QString>
#include <QStringView>

// The one reading of network addresses in settings. An IPv4 address is four decimal groups of
// 0 to 255 separated by dots (a leading zero is a decimal digit, never octal; no shorthand
// such as "127.1", no hexadecimal); an IPv6 address is written in its standard forms (eight
// groups of up to four hexadecimal digits, "::" once for a run of zero groups, a dotted IPv4
// address as the last 32 bits); a range is an address, "/" and a prefix length (0 to 32, 0 to
// 128). Blanks around the text are no part of it. A text that is not an address is a host name
// only where host names are allowed and only when it cannot be mistaken for a number the
// system's name resolver would read as an address ("127.1", "0x7f000001").
class NetworkAddress {
public:
    struct Range {
        QHostAddress network;
        int length = 0;
    };

    // The address the text names, or none.
    static std::optional<QHostAddress> parse(QStringView text);
    // The address range the text names (an address alone is a range of one address), or none.
    // A range written in IPv4-mapped IPv6 form is none: IPv4 peers are matched as IPv4.
    static std::optional<Range> parseRange(QStringView text);
    // For a setting naming a host: the address when the text is one, none when it is a host
    // name or nothing usable (tell them apart with isHostName).
    static std::optional<QHostAddress> parseHost(const QString& text);
    // Whether the text is usable as a host name: letters, digits, "-", "_" and "." in labels
    // of at most 63 characters, and not only numbers a resolver would read as an address.
    static bool isHostName(const QString& text);
    // An IPv4 peer seen through an IPv6 socket (::ffff:a.b.c.d) as the IPv4 address it is.
    static QHostAddress plain(const QHostAddress& address);
};
