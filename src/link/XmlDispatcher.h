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

private:
    std::map<QString, PendingText> m_streams;
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
