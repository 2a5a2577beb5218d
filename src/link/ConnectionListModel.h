#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

// The "Connections" list: one line per connected analyzer ("TARVO: ") and data client
// ("Orvanta: "), host name and address, without duplicates; shown exactly when not empty.
// Host names come from reverse look-ups that never hold up the event loop: a line shows the
// address first and gains the name when the look-up answers.
class ConnectionListModel : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Rebuilds the list from the remote addresses of the analyzer connections and the data-host
    // server's connections; connections whose address equals excludedAddress are left out.
    void rebuild(const QStringList& analyzerAddresses, const QStringList& dataClientAddresses,
                 const QString& excludedAddress = {});

    const QStringList& lines() const { return m_lines; }
    bool isVisible() const { return !m_lines.isEmpty(); }

    // The name a reverse look-up found for an address (empty while unknown or on failure).
    QString hostNameOf(const QString& address) const { return m_names.value(address); }

signals:
    void changed();

private:
    void lookUp(const QString& address);
    void addLines(const QString& prefix, const QStringList& addresses, const QString& excluded);

    QStringList m_lines;
    QHash<QString, QString> m_names;
    QSet<QString> m_lookingUp;
    QStringList m_lastAnalyzers;
    QStringList m_lastDataClients;
    QString m_lastExcluded;
};
