#pragma once

#include <vector>

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include "NetworkAddress.h"

// Which peers may connect to the collector's servers: a comma-separated list of addresses and
// CIDR ranges ("127.0.0.1,10.1.2.0/24"), read by NetworkAddress. An empty list lets everyone
// in. Entries that are neither an address nor a range are reported and ignored; a list that
// holds anything else (separators or blanks only, unreadable entries only) lets no one in, so
// that a typing error never opens patient data to the whole network. An IPv4 peer seen through
// an IPv6 socket is matched as IPv4.
class AllowedPeers {
public:
    AllowedPeers() = default;
    explicit AllowedPeers(const QString& list);
    // A stored value that is no text at all (written as a number): one unreadable entry, shown
    // as it stands in the settings file.
    static AllowedPeers unreadableValue(const QString& shown);

    bool allows(const QHostAddress& peer) const;
    // Whether the list lets everyone in (it is empty).
    bool open() const { return m_open; }
    // Whether the list names something but holds no usable entry.
    bool refusesEveryone() const { return !m_open && m_ranges.empty(); }
    // The entries that could not be read, as they stood.
    const QStringList& malformed() const { return m_malformed; }
    const QString& text() const { return m_text; }

private:
    QString m_text;
    bool m_open = true;
    std::vector<NetworkAddress::Range> m_ranges;
    QStringList m_malformed;
};
