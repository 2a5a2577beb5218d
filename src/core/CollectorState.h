#pragma once

#include <QChar>
#include <QDateTime>
#include <QString>

#include "RegistryHives.h"

// The analyzer protocol, from the setting CommunicationProtocol compared upper-cased.
enum class AnalyzerProtocol : quint8 { Xml = 0, Hl7 = 1, AstmE1381 = 2 };

AnalyzerProtocol protocolFromSetting(const QString& value);
// The protocol of the settings dialog's choice 0, 1 or 2; XML for anything else.
AnalyzerProtocol protocolFromIndex(int index);
// The setting text: "XML", "HL7" or "HL7Telcor".
QString protocolSettingText(AnalyzerProtocol protocol);
// The name start-up logs after "Communication Protocol = ".
QString protocolLogName(AnalyzerProtocol protocol);

// State of the connection to the relay host.
enum class RelayConnectionState : quint8 { Connecting = 0, Connected = 1, Disconnected = 2 };

// This station's role among Orvanta data hosts and clients.
enum class NetworkRole : quint8 { AnalyzerLinked = 0, DataClient = 1, Standalone = 3 };

// Whether results are collected, and whether an analyzer link is present.
enum class CollectionState : quint8 {
    Offline = 0,
    Ready = 1,
    Collecting = 2,
    CollectingOffline = 3
};

// "Offline", "Ready", "Collecting" or "CollectingOffline".
QString collectionStateName(CollectionState state);

// How patient IDs are shortened before they name a patient.
enum class IdReduction : quint8 { None = 0, FirstTen = 1, LastTen = 2 };

// The stored IDReduction value (0, 1 or 2); anything else means no reduction.
inline IdReduction idReductionFrom(int stored) {
    switch (stored) {
    case 1:
        return IdReduction::FirstTen;
    case 2:
        return IdReduction::LastTen;
    default:
        return IdReduction::None;
    }
}

// What the parts of a running collector share, read by them through a const reference. Each
// group has one writer, named above it; values that change while running are announced by
// their owner or read when next needed.
struct CollectorState {
    // Start-up facts, written by the collector's start-up (the data root's usability again by
    // its check, announced as storingChanged).
    RegistryRoot settingsRoot = RegistryRoot::LocalMachine;
    QString logFolder;
    QString dataRoot;
    // "Not storing: " + why, while the data root can be neither created nor written; empty
    // while results can be stored.
    QString notStoring;
    int messageMaxValue = 20;
    QChar savedDecimalSeparator = u'.';

    // The settings in use: read by start-up, taken into use by the collector's setters when the
    // settings dialog is saved.
    AnalyzerProtocol protocol = AnalyzerProtocol::Xml;
    bool relayEnabled = false;
    bool includeChecksum = false;
    int medianFilterLength = 15;
    bool useTarvoSettings = true;
    bool autoHide = false;
    bool autoStart = false;
    bool autoCreate = false;
    bool noOrvanta = false;
    bool monitorNetworkLocation = false;
    bool duplicateXmlFiles = false;
    QString duplicateLocation;
    int dataClientPort = 13999;
    int dataHostServerPort = 13998;
    int analyzerPort = 13000;
    IdReduction idReduction = IdReduction::None;
    QString relayHost;
    int relayPort = 13000;
    bool filter194 = false;
    int relayTimeoutSeconds = 10;
    QString externalMediaDrive;
    QString externalMediaMenuCaption;

    // Written by collection control only.
    CollectionState collection = CollectionState::Offline;
    QDateTime stateChangeTime;
    bool busy = false; // analyzer reads wait

    // Set through AnalyzerLinkHost::setNetworkRole by the analyzer server and the data client.
    NetworkRole networkRole = NetworkRole::Standalone;
};
