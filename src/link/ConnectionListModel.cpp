#include "ConnectionListModel.h"

#include "ReverseLookup.h"

void ConnectionListModel::rebuild(const QStringList& analyzerAddresses,
                                  const QStringList& dataClientAddresses,
                                  const QString& excludedAddress) {
    m_lastAnalyzers = analyzerAddresses;
    m_lastDataClients = dataClientAddresses;
    m_lastExcluded = excludedAddress;
    m_lines.clear();
    addLines(QStringLiteral("TARVO: "), analyzerAddresses, excludedAddress);
    addLines(QStringLiteral("Orvanta: "), dataClientAddresses, excludedAddress);
    emit changed();
}

void ConnectionListModel::addLines(const QString& prefix, const QStringList& addresses,
                                   const QString& excluded) {
    for (const QString& address : addresses) {
        if (!excluded.isEmpty() && address == excluded)
            continue;
        if (!m_names.contains(address))
            lookUp(address);
        const QString line =
            prefix + m_names.value(address) + QStringLiteral(" (") + address + u')';
        if (!m_lines.contains(line))
            m_lines << line;
    }
}

void ConnectionListModel::lookUp(const QString& address) {
    if (m_lookingUp.contains(address))
        return;
    m_lookingUp.insert(address);
    lookUpHostName(address, this, [this, address](const QString& name) {
        m_lookingUp.remove(address);
        m_names.insert(address, name);
        rebuild(m_lastAnalyzers, m_lastDataClients, m_lastExcluded);
    });
}
