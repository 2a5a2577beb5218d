#include "CollectorState.h"

#include <iterator>

namespace {

// Each protocol with its setting text (CommunicationProtocol) and the name start-up logs, in
// the order of the protocol's number.
struct ProtocolNames {
    AnalyzerProtocol protocol;
    const char* setting;
    const char* logged;
};
constexpr ProtocolNames kProtocols[] = {{AnalyzerProtocol::Xml, "XML", "XML"},
                                        {AnalyzerProtocol::Hl7, "HL7", "HL7"},
                                        {AnalyzerProtocol::AstmE1381, "HL7Telcor", "HL7Full"}};

const ProtocolNames& namesOf(AnalyzerProtocol protocol) {
    for (const ProtocolNames& names : kProtocols) {
        if (names.protocol == protocol)
            return names;
    }
    return kProtocols[0];
}

} // namespace

AnalyzerProtocol protocolFromSetting(const QString& value) {
    for (const ProtocolNames& names : kProtocols) {
        if (value.compare(QLatin1String(names.setting), Qt::CaseInsensitive) == 0)
            return names.protocol;
    }
    return AnalyzerProtocol::Xml;
}

AnalyzerProtocol protocolFromIndex(int index) {
    return index >= 0 && index < int(std::size(kProtocols)) ? kProtocols[index].protocol
                                                            : AnalyzerProtocol::Xml;
}

QString protocolSettingText(AnalyzerProtocol protocol) {
    return QLatin1String(namesOf(protocol).setting);
}

QString protocolLogName(AnalyzerProtocol protocol) {
    return QLatin1String(namesOf(protocol).logged);
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
