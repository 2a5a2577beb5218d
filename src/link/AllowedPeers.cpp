#include "AllowedPeers.h"

AllowedPeers::AllowedPeers(const QString& list) : m_text(list) {
    m_open = list.isEmpty();
    for (const QString& part : list.split(u',')) {
        const QString entry = part.trimmed();
        if (entry.isEmpty())
            continue;
        if (const auto range = NetworkAddress::parseRange(entry))
            m_ranges.push_back(*range);
        else
            m_malformed << entry;
    }
}

AllowedPeers AllowedPeers::unreadableValue(const QString& shown) {
    AllowedPeers peers;
    peers.m_text = shown;
    peers.m_open = false;
    peers.m_malformed << shown;
    return peers;
}

bool AllowedPeers::allows(const QHostAddress& peer) const {
    if (m_open)
        return true;
    const QHostAddress address = NetworkAddress::plain(peer);
    for (const auto& range : m_ranges) {
        if (address.isInSubnet(range.network, range.length))
            return true;
    }
    return false;
}
