#pragma once

#include <map>

#include <QObject>
#include <QString>

#include "MessageClassification.h"
#include "PendingText.h"

class TSockets;
class TTarvoSocket;

// Receives the decoded text of a connection and handles its complete messages in arrival order.
class XmlDispatcher {
public:
    virtual ~XmlDispatcher() = default;

    // Appends the text to the connection's pending text and handles the complete messages in it.
    // Returns the concatenation, in order, of the messages cut in this call (the read forwards
    // it to the data clients). May return while complete messages remain, so that other events
    // get their turn; the caller then calls again with empty text.
    virtual QString Dispatch(const QString& text, PendingText& pending,
                             const QString& connectionIdentity) = 0;

    // For a source with one stream per identity (the serial link, direct calls): its pending
    // text is kept here, and every complete message is handled before this returns.
    QString Dispatch(const QString& text, const QString& connectionIdentity);

    // Whether Dispatch returns the messages it cut (on unless turned off). A reader whose
    // messages go nowhere turns it off for its calls (CollectingMessages), and the messages are
    // then not copied; Dispatch returns empty text.
    bool CollectsMessages() const { return m_collectsMessages; }
    void SetCollectsMessages(bool on) { m_collectsMessages = on; }

private:
    std::map<QString, PendingText> m_streams;
    bool m_collectsMessages = true;
};

// Sets whether the dispatcher returns the messages it cuts for as long as it lives.
class CollectingMessages {
public:
    CollectingMessages(XmlDispatcher& dispatcher, bool on)
        : m_dispatcher(dispatcher), m_before(dispatcher.CollectsMessages()) {
        dispatcher.SetCollectsMessages(on);
    }
    ~CollectingMessages() { m_dispatcher.SetCollectsMessages(m_before); }
    CollectingMessages(const CollectingMessages&) = delete;
    CollectingMessages& operator=(const CollectingMessages&) = delete;

private:
    XmlDispatcher& m_dispatcher;
    bool m_before;
};

// Framing alone: appends the prepared chunk to the connection's pending text, cuts every
// complete message, prepares and classifies it, and reports each one. Message handling hooks in
// through messageCut.
class FramingDispatcher : public QObject, public XmlDispatcher {
    Q_OBJECT

public:
    explicit FramingDispatcher(TSockets& records, QObject* parent = nullptr);

    using XmlDispatcher::Dispatch;
    QString Dispatch(const QString& text, PendingText& pending,
                     const QString& connectionIdentity) override;

signals:
    // message: as classified (a patient-data message has lost its namespace attribute).
    void messageCut(const QString& connectionIdentity, TMessageType type, const QString& message);

private:
    TSockets& m_records;
};
