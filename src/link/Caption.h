#pragma once

#include <QString>

#include "CollectorState.h"

// What the window caption reports, which doubles as the collector's one-line status.
struct CaptionFacts {
    QString version;
    NetworkRole role = NetworkRole::Standalone;
    QString localAddress;
    QString localHostName;
    int analyzerPort = 13000;
    QString dataHostName;
    QString dataHostAddress;
    AnalyzerProtocol protocol = AnalyzerProtocol::Xml;
    bool relayEnabled = false;
    RelayConnectionState relayState = RelayConnectionState::Disconnected;
    QString relayHostName;
    QString relayAddress;
    int relayPort = 13000;
    QString relayHostSetting;
    int relayPortSetting = 13000;
};

QString buildCaption(const CaptionFacts& facts);
