#include "AllowedPeers.h"

namespace {

// An IPv4 peer reached through an IPv6 socket shows as ::ffff:a.b.c.d; it is compared as IPv4.
QHostAddress plain(const QHostAddress& address) {
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}

} // namespace

AllowedPeers::AllowedPeers(const QString& list) : m_text(list) {
    for (const QString& part : list.split(u',')) {
        const QString entry = part.trimmed();
        if (entry.isEmpty())
            continue;
        m_open = false;
        if (entry.contains(u'/')) {
            const auto range = QHostAddress::parseSubnet(entry);
            if (range.first.isNull() || range.second < 0)
                m_malformed << entry;
            else
                m_ranges.emplace_back(plain(range.first), range.second);
            continue;
        }
        const QHostAddress address(entry);
        if (address.isNull()) {
            m_malformed << entry;
            continue;
        }
        const QHostAddress single = plain(address);
        m_ranges.emplace_back(single,
                              single.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128);
    }
}

bool AllowedPeers::allows(const QHostAddress& peer) const {
    if (m_open)
        return true;
    const QHostAddress address = plain(peer);
    for (const auto& [network, length] : m_ranges) {
        if (address.isInSubnet(network, length))
            return true;
    }
    return false;
}
