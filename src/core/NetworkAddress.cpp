#include "NetworkAddress.h"

#include <vector>

namespace {

bool isDecimalDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

int hexValue(QChar c) {
    if (isDecimalDigit(c))
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// Four groups of one to three decimal digits, each 0 to 255.
std::optional<quint32> parseIpv4(QStringView text) {
    quint32 address = 0;
    int groups = 0;
    qsizetype at = 0;
    while (groups < 4) {
        int value = 0;
        int digits = 0;
        while (at < text.size() && isDecimalDigit(text[at]) && digits < 4) {
            value = value * 10 + (text[at].unicode() - u'0');
            ++digits;
            ++at;
        }
        if (digits == 0 || digits > 3 || value > 255)
            return std::nullopt;
        address = (address << 8) | quint32(value);
        ++groups;
        if (groups < 4) {
            if (at >= text.size() || text[at] != u'.')
                return std::nullopt;
            ++at;
        }
    }
    if (at != text.size())
        return std::nullopt;
    return address;
}

// Groups of one to four hexadecimal digits separated by ":"; the last may be a dotted IPv4
// address when ipv4Allowed. Appends the 16-bit groups; false when the text is not of that form.
bool parseIpv6Groups(QStringView text, bool ipv4Allowed, std::vector<quint16>& groups) {
    if (text.isEmpty())
        return true;
    qsizetype start = 0;
    while (true) {
        const qsizetype colon = text.indexOf(u':', start);
        const QStringView group = colon < 0 ? text.mid(start) : text.mid(start, colon - start);
        if (colon < 0 && ipv4Allowed && group.contains(u'.')) {
            const auto v4 = parseIpv4(group);
            if (!v4)
                return false;
            groups.push_back(quint16(*v4 >> 16));
            groups.push_back(quint16(*v4 & 0xFFFF));
            return true;
        }
        if (group.isEmpty() || group.size() > 4)
            return false;
        int value = 0;
        for (const QChar c : group) {
            const int digit = hexValue(c);
            if (digit < 0)
                return false;
            value = value * 16 + digit;
        }
        groups.push_back(quint16(value));
        if (colon < 0)
            return true;
        start = colon + 1;
    }
}

std::optional<QHostAddress> parseIpv6(QStringView text) {
    std::vector<quint16> head;
    std::vector<quint16> tail;
    const qsizetype gap = text.indexOf(QStringView(u"::"));
    if (gap < 0) {
        if (!parseIpv6Groups(text, true, head) || head.size() != 8)
            return std::nullopt;
    } else {
        const QStringView after = text.mid(gap + 2);
        if (after.contains(QStringView(u"::")))
            return std::nullopt;
        if (!parseIpv6Groups(text.left(gap), false, head) || !parseIpv6Groups(after, true, tail) ||
            head.size() + tail.size() > 7)
            return std::nullopt;
        head.resize(8 - tail.size(), 0);
        head.insert(head.end(), tail.begin(), tail.end());
    }
    Q_IPV6ADDR bytes;
    for (int i = 0; i < 8; ++i) {
        bytes[2 * i] = quint8(head[std::size_t(i)] >> 8);
        bytes[2 * i + 1] = quint8(head[std::size_t(i)] & 0xFF);
    }
    return QHostAddress(bytes);
}

bool isMappedIpv4(const QHostAddress& address) {
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return false;
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    for (int i = 0; i < 10; ++i) {
        if (bytes[i] != 0)
            return false;
    }
    return bytes[10] == 0xFF && bytes[11] == 0xFF;
}

// A label the resolver would read as a number: decimal digits, or "0x" and hexadecimal ones.
bool isNumericLabel(QStringView label) {
    if (label.size() >= 2 && label[0] == u'0' && (label[1] == u'x' || label[1] == u'X')) {
        for (const QChar c : label.mid(2)) {
            if (hexValue(c) < 0)
                return false;
        }
        return true;
    }
    for (const QChar c : label) {
        if (!isDecimalDigit(c))
            return false;
    }
    return true;
}

} // namespace

std::optional<QHostAddress> NetworkAddress::parse(QStringView text) {
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    if (text.contains(u':'))
        return parseIpv6(text);
    if (const auto v4 = parseIpv4(text))
        return QHostAddress(*v4);
    return std::nullopt;
}

std::optional<NetworkAddress::Range> NetworkAddress::parseRange(QStringView text) {
    text = text.trimmed();
    const qsizetype slash = text.indexOf(u'/');
    if (slash < 0) {
        const auto address = parse(text);
        if (!address)
            return std::nullopt;
        const QHostAddress single = plain(*address);
        return Range{single, single.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128};
    }
    const QStringView addressText = text.left(slash);
    const QStringView lengthText = text.mid(slash + 1);
    // Blanks inside the entry ("10.0.0.0 /8") make it unreadable, as anywhere else.
    if (addressText.isEmpty() || addressText.back().isSpace() || lengthText.isEmpty() ||
        lengthText.size() > 3)
        return std::nullopt;
    int length = 0;
    for (const QChar c : lengthText) {
        if (!isDecimalDigit(c))
            return std::nullopt;
        length = length * 10 + (c.unicode() - u'0');
    }
    const auto address = parse(addressText);
    if (!address)
        return std::nullopt;
    const int longest = address->protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
    if (length > longest || isMappedIpv4(*address))
        return std::nullopt;
    return Range{*address, length};
}

std::optional<QHostAddress> NetworkAddress::parseHost(const QString& text) {
    return parse(text);
}

bool NetworkAddress::isHostName(const QString& text) {
    const QStringView name = QStringView(text).trimmed();
    if (name.isEmpty() || name.size() > 253 || parse(name))
        return false;
    // One trailing dot marks a fully qualified name.
    const QStringView body = name.endsWith(u'.') ? name.chopped(1) : name;
    if (body.isEmpty())
        return false;
    bool allNumeric = true;
    qsizetype start = 0;
    while (start <= body.size()) {
        qsizetype dot = body.indexOf(u'.', start);
        if (dot < 0)
            dot = body.size();
        const QStringView label = body.mid(start, dot - start);
        if (label.isEmpty() || label.size() > 63 || label.startsWith(u'-') || label.endsWith(u'-'))
            return false;
        for (const QChar c : label) {
            if (!(isDecimalDigit(c) || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                  c == u'-' || c == u'_'))
                return false;
        }
        allNumeric = allNumeric && isNumericLabel(label);
        start = dot + 1;
    }
    return !allNumeric;
}

QHostAddress NetworkAddress::plain(const QHostAddress& address) {
    if (!isMappedIpv4(address))
        return address;
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}
