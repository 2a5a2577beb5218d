#include "Caption.h"

QString buildCaption(const CaptionFacts& facts) {
    QString caption =
        QStringLiteral("Tarvo Data Client (Ver. ") +
        (facts.version.isEmpty() ? QStringLiteral("Unknown version") : facts.version) +
        QStringLiteral("). ");
    switch (facts.role) {
    case NetworkRole::AnalyzerLinked:
        caption += QStringLiteral("IP = ") + facts.localAddress + u':' +
                   QString::number(facts.analyzerPort) + QStringLiteral(", ") +
                   QStringLiteral("Host = ") + facts.localHostName;
        break;
    case NetworkRole::DataClient:
        caption += QStringLiteral(" - ") + QStringLiteral("Connected to ") +
                   QStringLiteral(" Orvanta: ") + facts.dataHostName + QStringLiteral(" (") +
                   facts.dataHostAddress + u')';
        break;
    case NetworkRole::Standalone:
        break;
    }
    if (facts.protocol == AnalyzerProtocol::Xml) {
        caption += QStringLiteral(", ") + QStringLiteral("Communication Protocol = ") +
                   QStringLiteral(" XML");
    } else if (facts.relayEnabled) {
        if (facts.relayState == RelayConnectionState::Connected)
            caption += QStringLiteral(", ") + QStringLiteral("Relaying HL7 data to ") +
                       facts.relayHostName + QStringLiteral(" (") + facts.relayAddress + u':' +
                       QString::number(facts.relayPort) + u')';
        else
            caption += QStringLiteral(", ") + QStringLiteral("Host not found") +
                       facts.relayHostSetting + u':' + QString::number(facts.relayPortSetting);
    } else if (facts.protocol == AnalyzerProtocol::Hl7) {
        caption += QStringLiteral(", ") + QStringLiteral("Communication Protocol = ") +
                   QStringLiteral("HL7");
    } else {
        caption += QStringLiteral(", ") + QStringLiteral("Communication Protocol = ") +
                   QStringLiteral("ASTM E-1381");
    }
    return caption;
}
