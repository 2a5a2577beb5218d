#pragma once

#include <memory>
#include <vector>

#include <QString>

#include "TTarvoSocket.h"

class QAbstractSocket;

// The analyzers' records in the order they first connected. Records are never removed.
class TSockets {
public:
    TTarvoSocket& FindOrAdd(const QString& identity);
    TTarvoSocket* Find(const QString& identity);
    // The writer of the first record whose last patient is the given ID, or null.
    TSaveItNew* SaverForPatient(const QString& patientId);

    std::size_t Count() const { return m_records.size(); }
    TTarvoSocket& At(std::size_t index) { return *m_records.at(index); }

private:
    std::vector<std::unique_ptr<TTarvoSocket>> m_records;
};

// The identity of a connection: the peer's IPv4 address in dotted form (an IPv6 peer keeps its
// IPv6 text), or "RS232" when the connection has no readable peer address.
QString ConnectionIdentity(const QAbstractSocket* connection);

inline constexpr auto kSerialIdentity = "RS232";
