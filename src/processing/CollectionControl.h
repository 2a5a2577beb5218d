#pragma once

#include <functional>

#include <QDateTime>
#include <QObject>
#include <QString>

#include "CollectorState.h"

class Clock;
class EventLog;
class LatestValueGrid;
class LinkStatus;
class OrvantaLink;
class PatManagement;
class ProcessingProgress;
class PatientListModel;
class TParameters;
class TSaveItNew;
class TSockets;

// Everything collection control reads and changes, owned by the collector.
struct CollectionControlContext {
    CollectorState& state;
    EventLog& log;
    OrvantaLink& orvanta;
    PatientListModel& patients;
    TParameters& catalogue;
    LatestValueGrid& grid;
    TSockets& records;
    LinkStatus& linkStatus; // its connection label shows whether the server listens
    PatManagement& registry;
    const Clock& clock;
    const ProcessingProgress& progress; // when the last value was measured, whether data came
    std::function<int()> analyzerConnections;
    std::function<bool()> serverActive;
    std::function<void()> reactivateServer;
};

// What the window shows of the collection state: buttons, animation and tray icon.
struct CollectionControls {
    CollectionState state = CollectionState::Offline; // the state these controls belong to
    bool startEnabled = false;
    bool startVisible = true;
    bool stopVisible = false;
    bool hideEnabled = false;
    bool settingsVisible = true;
    bool trayIconWanted = false;
    bool animationPlaying = false;
    QString trayHint;
};

// Whether results are collected: the collection state with its Start and Stop commands, the end
// points written when collecting stops, and the duties of the main timer.
class CollectionControl : public QObject {
    Q_OBJECT

public:
    static constexpr auto kCollectingHint = "Collecting Tarvo Monitor Data";

    explicit CollectionControl(CollectionControlContext context, QObject* parent = nullptr);

    // Every parameter counts as selected (the setting Automatic).
    bool AutomaticParameters = true;

    // The collection state and when it last changed are kept in the collector's state; this is
    // their only writer.
    void setCollectionState(CollectionState state);
    // While busy, analyzer reads wait and the main timer skips its duties (set around the
    // writing of end points, and by the collector).
    void setBusy(bool busy);
    // An analyzer link is present: Offline becomes Ready, CollectingOffline becomes Collecting.
    void linkPresent();
    void start();
    void stop();
    // End points (value 0 at the last sample time + 1 s) for every selected parameter of the
    // ticked, sending patients, or of all patients; only for the line protocols.
    void writeEndPoints(bool all);
    // Where end points find the writer of a patient that no connection record names: the
    // patients whose results arrive in record lines.
    void setLineWriters(std::function<TSaveItNew*(const QString& patientId)> writerFor) {
        m_lineWriterFor = std::move(writerFor);
    }
    // The main timer's duties.
    void timerTick();
    // The window is no longer hidden by itself in this run (the operator works with it); while
    // collecting, Hide becomes usable.
    void endAutoHide();

    const CollectionControls& controls() const { return m_controls; }

signals:
    void controlsChanged();
    void showWindowRequested();
    void hideWindowRequested();

private:
    void applyControls(CollectionState state);

    CollectionControlContext m_context;
    CollectionControls m_controls;
    bool m_autoHidePending = true;
    std::function<TSaveItNew*(const QString& patientId)> m_lineWriterFor;
};
