#pragma once

#include <memory>

#include <QString>

#include "MessageClassification.h"
#include "PendingText.h"
#include "TSaveItNew.h"

// What the collector keeps for one analyzer, by identity (its IPv4 address, "RS232" for the
// serial link): the text not yet cut into messages, the writer of its results and the patient
// of its last message. Records live as long as the program; an analyzer that reconnects gets
// its record, and its unfinished text, back.
class TTarvoSocket {
public:
    explicit TTarvoSocket(QString identity);

    const QString& RemoteAddress() const { return m_remoteAddress; }
    bool SameConnection(const QString& identity) const { return identity == m_remoteAddress; }

    void Append(const QString& text) { m_pending.append(text); }
    bool HasCompleteMessage() { return m_pending.HasCompleteMessage(); }
    QString CutMessage() { return m_pending.CutMessage(); }
    static TMessageType ClassifyMessage(QString& message) { return ::ClassifyMessage(message); }

    PendingText& Pending() { return m_pending; }
    const PendingText& Pending() const { return m_pending; }
    TSaveItNew& Saver() { return *m_saver; }

    QString PatientID;

private:
    QString m_remoteAddress;
    PendingText m_pending;
    std::unique_ptr<TSaveItNew> m_saver;
};
