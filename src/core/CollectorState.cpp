#include "CollectorState.h"

AnalyzerProtocol protocolFromSetting(const QString& value) {
    const QString upper = value.toUpper();
    if (upper == QLatin1String("HL7"))
        return AnalyzerProtocol::Hl7;
    if (upper == QLatin1String("HL7TELCOR"))
        return AnalyzerProtocol::AstmE1381;
    return AnalyzerProtocol::Xml;
}

QString protocolLogName(AnalyzerProtocol protocol) {
    switch (protocol) {
    case AnalyzerProtocol::Hl7:
        return QStringLiteral("HL7");
    case AnalyzerProtocol::AstmE1381:
        return QStringLiteral("HL7Full");
    case AnalyzerProtocol::Xml:
        break;
    }
    return QStringLiteral("XML");
}

QString collectionStateName(CollectionState state) {
    switch (state) {
    case CollectionState::Offline:
        return QStringLiteral("Offline");
    case CollectionState::Ready:
        return QStringLiteral("Ready");
    case CollectionState::Collecting:
        return QStringLiteral("Collecting");
    case CollectionState::CollectingOffline:
        return QStringLiteral("CollectingOffline");
    }
    return QString::number(int(state));
}
