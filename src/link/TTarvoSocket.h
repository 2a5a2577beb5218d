#pragma once

#include <memory>

#include <QString>

#include "MessageClassification.h"
#include "TSaveItNew.h"

// What the collector keeps for one analyzer, by identity (its IPv4 address, "RS232" for the
// serial link): the writer of its results and the patient of its last message. Records live as
// long as the program; an analyzer that reconnects gets its record back. The text not yet cut
// into messages belongs to each connection, not to the record: analyzers behind one address
// (address translation, a terminal server, one converter) each keep their own.
class TTarvoSocket {
public:
    explicit TTarvoSocket(QString identity);

    const QString& RemoteAddress() const { return m_remoteAddress; }
    bool SameConnection(const QString& identity) const { return identity == m_remoteAddress; }

    static TMessageType ClassifyMessage(QString& message) { return ::ClassifyMessage(message); }

    TSaveItNew& Saver() { return *m_saver; }

    QString PatientID;

private:
    QString m_remoteAddress;
    std::unique_ptr<TSaveItNew> m_saver;
};
