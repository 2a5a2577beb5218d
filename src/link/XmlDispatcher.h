#pragma once

#include <QObject>
#include <QString>

#include "MessageClassification.h"

class TSockets;
class TTarvoSocket;

// Receives the decoded text of a connection. Returns the concatenation, in order, of the
// complete messages cut in this call (the read forwards it to the data clients).
class XmlDispatcher {
public:
    virtual ~XmlDispatcher() = default;
    virtual QString Dispatch(const QString& text, const QString& connectionIdentity) = 0;
};

// Framing alone: appends the prepared chunk to the connection's pending text, cuts every
// complete message, prepares and classifies it, and reports each one. Message handling hooks in
// through messageCut.
class FramingDispatcher : public QObject, public XmlDispatcher {
    Q_OBJECT

public:
    explicit FramingDispatcher(TSockets& records, QObject* parent = nullptr);

    QString Dispatch(const QString& text, const QString& connectionIdentity) override;

signals:
    // message: as classified (a patient-data message has lost its namespace attribute).
    void messageCut(const QString& connectionIdentity, TMessageType type, const QString& message);

private:
    TSockets& m_records;
};
