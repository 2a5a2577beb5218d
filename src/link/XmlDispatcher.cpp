#include "XmlDispatcher.h"

#include "TSockets.h"

QString XmlDispatcher::Dispatch(const QString& text, const QString& connectionIdentity) {
    PendingText& pending = m_streams[connectionIdentity];
    QString output = Dispatch(text, pending, connectionIdentity);
    while (pending.FindCompleteMessage())
        output += Dispatch(QString(), pending, connectionIdentity);
    return output;
}

FramingDispatcher::FramingDispatcher(TSockets& records, QObject* parent)
    : QObject(parent), m_records(records) {}

QString FramingDispatcher::Dispatch(const QString& text, PendingText& pending,
                                    const QString& connectionIdentity) {
    m_records.FindOrAdd(connectionIdentity);
    AppendPreparedChunk(pending, text);
    QString output;
    while (pending.FindCompleteMessage()) {
        QString cut = pending.CutMessage();
        if (CollectsMessages())
            output += cut;
        QString message = PrepareMessage(std::move(cut));
        const TMessageType type = TTarvoSocket::ClassifyMessage(message);
        emit messageCut(connectionIdentity, type, message);
    }
    return output;
}
