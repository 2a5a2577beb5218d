#include "TSockets.h"

#include <QAbstractSocket>
#include <QHostAddress>

TTarvoSocket* TSockets::Find(const QString& identity) {
    for (const auto& record : m_records) {
        if (record->SameConnection(identity))
            return record.get();
    }
    return nullptr;
}

TTarvoSocket& TSockets::FindOrAdd(const QString& identity) {
    if (TTarvoSocket* record = Find(identity))
        return *record;
    m_records.push_back(std::make_unique<TTarvoSocket>(identity));
    return *m_records.back();
}

TSaveItNew* TSockets::SaverForPatient(const QString& patientId) {
    for (const auto& record : m_records) {
        if (record->PatientID == patientId)
            return &record->Saver();
    }
    return nullptr;
}

QString ConnectionIdentity(const QAbstractSocket* connection) {
    if (connection == nullptr)
        return QLatin1String(kSerialIdentity);
    const QHostAddress peer = connection->peerAddress();
    if (peer.isNull())
        return QLatin1String(kSerialIdentity);
    bool isIpv4 = false;
    const quint32 ipv4 = peer.toIPv4Address(&isIpv4);
    if (isIpv4)
        return QHostAddress(ipv4).toString();
    return peer.toString();
}
