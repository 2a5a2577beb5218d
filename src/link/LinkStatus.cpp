#include "LinkStatus.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>

#include "EventLog.h"

LinkStatus::LinkStatus(EventLog& log, FactsSource source, QObject* parent)
    : QObject(parent), m_log(log), m_source(std::move(source)),
      m_localHostName(QHostInfo::localHostName()) {}

void LinkStatus::readLocalAddress() {
    if (m_localAddressRead)
        return;
    m_localAddressRead = true;
    // The address analyzers reach this machine at: its first IPv4 address that is up and not
    // the loopback, read from the interfaces without asking a name server.
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol) {
                m_localAddress = entry.ip().toString();
                return;
            }
        }
    }
    m_localAddress = QHostAddress(QHostAddress::LocalHost).toString();
}

void LinkStatus::Update() {
    CaptionFacts facts = m_source ? m_source() : CaptionFacts();
    facts.localAddress = m_localAddress;
    facts.localHostName = m_localHostName;
    m_caption = buildCaption(facts);
    m_log.writeLog(QStringLiteral("New Caption = ") + m_caption);
    emit captionChanged(m_caption);
}

void LinkStatus::setConnectionLabel(const QString& text, bool warning) {
    m_connectionLabel = text;
    m_connectionWarning = warning;
    emit labelsChanged();
}

void LinkStatus::setNoNetworkLabelVisible(bool visible) {
    m_noNetworkVisible = visible;
    emit labelsChanged();
}
