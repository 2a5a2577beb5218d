#include "LinkStatus.h"

#include <QHostAddress>
#include <QHostInfo>

#include "EventLog.h"

LinkStatus::LinkStatus(EventLog& log, FactsSource source, QObject* parent)
    : QObject(parent), m_log(log), m_source(std::move(source)),
      m_localHostName(QHostInfo::localHostName()) {}

void LinkStatus::startLocalHostLookUp() {
    if (m_lookUpStarted)
        return;
    m_lookUpStarted = true;
    QHostInfo::lookupHost(m_localHostName, this, [this](const QHostInfo& info) {
        if (info.error() != QHostInfo::NoError)
            return;
        for (const QHostAddress& address : info.addresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol) {
                m_localAddress = address.toString();
                break;
            }
        }
        if (!info.hostName().isEmpty())
            m_localHostName = info.hostName();
        Update();
    });
}

void LinkStatus::Update() {
    CaptionFacts facts = m_source ? m_source() : CaptionFacts();
    facts.localAddress = m_localAddress;
    facts.localHostName = m_localHostName;
    m_caption = buildCaption(facts);
    m_log.writeLog(QStringLiteral("New Caption = ") + m_caption);
    emit captionChanged(m_caption);
}

void LinkStatus::setConnectionLabel(const QString& text) {
    m_connectionLabel = text;
    emit labelsChanged();
}

void LinkStatus::setNoNetworkLabelVisible(bool visible) {
    m_noNetworkVisible = visible;
    emit labelsChanged();
}
