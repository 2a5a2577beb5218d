#pragma once

#include <utility>
#include <vector>

#include <QHostAddress>
#include <QString>
#include <QStringList>

// Which peers may connect to the collector's servers: a comma-separated list of addresses and
// CIDR ranges ("127.0.0.1,10.1.2.0/24"). An empty list lets everyone in. Entries that are
// neither an address nor a range are reported and ignored; a list that names something but
// holds no usable entry at all lets no one in, so that a typing error never opens patient data
// to the whole network.
class AllowedPeers {
public:
    AllowedPeers() = default;
    explicit AllowedPeers(const QString& list);

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
    std::vector<std::pair<QHostAddress, int>> m_ranges;
    QStringList m_malformed;
};
