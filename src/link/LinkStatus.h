#pragma once

#include <functional>

#include <QObject>

#include "Caption.h"

class EventLog;

// The caption and the connection labels as a model: the caption is rebuilt from the current
// facts on request and logged as "New Caption = ...". The local host's name and address are
// read from the system without waiting for a name server.
class LinkStatus : public QObject {
    Q_OBJECT

public:
    using FactsSource = std::function<CaptionFacts()>;

    LinkStatus(EventLog& log, FactsSource source, QObject* parent = nullptr);

    void readLocalAddress();
    void Update();

    const QString& caption() const { return m_caption; }
    const QString& localHostName() const { return m_localHostName; }
    const QString& localAddress() const { return m_localAddress; }

    const QString& connectionLabel() const { return m_connectionLabel; }
    // A warning shows the label on a yellow background.
    void setConnectionLabel(const QString& text, bool warning = false);
    bool connectionLabelWarning() const { return m_connectionWarning; }
    bool noNetworkLabelVisible() const { return m_noNetworkVisible; }
    void setNoNetworkLabelVisible(bool visible);

signals:
    void captionChanged(const QString& caption);
    void labelsChanged();

private:
    EventLog& m_log;
    FactsSource m_source;
    QString m_caption;
    QString m_localHostName;
    QString m_localAddress;
    QString m_connectionLabel;
    bool m_connectionWarning = false;
    bool m_noNetworkVisible = false; // shown by data-host networking while it has no host
    bool m_localAddressRead = false;
};
