#include "XmlDispatcher.h"

#include "TSockets.h"

FramingDispatcher::FramingDispatcher(TSockets& records, QObject* parent)
    : QObject(parent), m_records(records) {}

QString FramingDispatcher::Dispatch(const QString& text, const QString& connectionIdentity) {
    TTarvoSocket& record = m_records.FindOrAdd(connectionIdentity);
    record.Append(PrepareChunk(text));
    QString output;
    while (record.HasCompleteMessage()) {
        const QString cut = record.CutMessage();
        output += cut;
        QString message = PrepareMessage(cut);
        const TMessageType type = TTarvoSocket::ClassifyMessage(message);
        emit messageCut(connectionIdentity, type, message);
    }
    return output;
}
