#include "MessageClassification.h"

namespace {

const QString kLiveWithVersion = QStringLiteral(
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><Tarvo version=\"1.1\"><MDMeasurement>");
const QString kLiveWithoutVersion =
    QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><Tarvo><MDMeasurement>");
const QString kAdmission = QStringLiteral(
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><Tarvo version=\"1.1\"><Admission><AdmissionGuid>");
const QString kAutoControl = QStringLiteral(
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><Tarvo version=\"1.1\"><AutoControl>");

} // namespace

TMessageType ClassifyMessage(QString& message) {
    switch (NormalizeNamespace(message)) {
    case PatientDataSchema::Year2008Or2012:
        return TMessageType::mtTarvoFlexData;
    case PatientDataSchema::Year2004:
        return TMessageType::mtTarvoData;
    case PatientDataSchema::None:
        break;
    }
    if (message.contains(kLiveWithVersion))
        return TMessageType::mtXMLTarvoLiveData;
    if (message.contains(kAutoControl))
        return TMessageType::mtXMLTarvoAutoControl;
    if (message.contains(kLiveWithoutVersion))
        return TMessageType::mtXMLTarvoLiveData;
    if (message.contains(kAdmission))
        return TMessageType::mtXMLTarvoAdmission;
    return TMessageType::mtUnknown;
}

QString PrepareChunk(const QString& chunk) {
    const qsizetype at = chunk.indexOf(QLatin1String("utf-16"));
    if (at < 0)
        return chunk;
    QString prepared = chunk;
    prepared.replace(at, 6, QStringLiteral("utf-8"));
    return prepared;
}

void AppendPreparedChunk(PendingText& pending, QStringView chunk) {
    const qsizetype at = chunk.indexOf(QLatin1String("utf-16"));
    if (at < 0) {
        pending.append(chunk);
        return;
    }
    pending.append(chunk.left(at));
    pending.append(u"utf-8");
    pending.append(chunk.mid(at + 6));
}

QString PrepareMessage(QString message) {
    static const QString declared = QStringLiteral("encoding=\"utf-16\"");
    const qsizetype declarationEnd = message.indexOf(QLatin1String("?>"));
    if (declarationEnd < 0)
        return message;
    // Only the declaration is searched: the text searched for holds no "?>".
    const qsizetype at = QStringView(message).left(declarationEnd).indexOf(declared);
    if (at < 0)
        return message;
    message.replace(at, declared.size(), QStringLiteral("encoding=\"utf-8\""));
    return message;
}

QString messageTypeName(TMessageType type) {
    switch (type) {
    case TMessageType::mtTarvoData:
        return QStringLiteral("mtTarvoData");
    case TMessageType::mtTarvoFlexData:
        return QStringLiteral("mtTarvoFlexData");
    case TMessageType::mtXMLTarvoLiveData:
        return QStringLiteral("mtXMLTarvoLiveData");
    case TMessageType::mtXMLTarvoAdmission:
        return QStringLiteral("mtXMLTarvoAdmission");
    case TMessageType::mtXMLTarvoAutoControl:
        return QStringLiteral("mtXMLTarvoAutoControl");
    case TMessageType::mtUnknown:
        break;
    }
    return QStringLiteral("mtUnknown");
}
