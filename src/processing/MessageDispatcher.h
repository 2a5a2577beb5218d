#pragma once

#include <deque>
#include <functional>

#include <QHash>

#include <QObject>
#include <QString>

#include "MessageClassification.h"
#include "TXMLDocument.h"
#include "XmlArchive.h"
#include "XmlDispatcher.h"

struct CollectorState;
class Clock;
class CollectionControl;
class EventLog;
class LinkStatus;
class ProcessingProgress;
class ResultProcessor;
class TSockets;
class TTarvoSocket;

// Everything message dispatch reads and changes, owned by the collector.
struct MessageDispatcherContext {
    const CollectorState& state;
    EventLog& log;
    TSockets& records;
    ResultProcessor& processor;
    CollectionControl& control;
    LinkStatus& linkStatus;
    const Clock& clock;
    // Asks for the patient's data file to be rebuilt from its archive once the current event
    // has been handled (requests for a patient still waiting are merged by the receiver).
    std::function<void(const QString& patientId)> requestRebuild;
};

// Handles the XML text of the analyzers: every complete message is cut from the connection's
// pending text, classified, loaded into the shared document and acted on by its type. Live
// results are processed one at a time in the order they arrived: a result that arrives while
// another is being processed waits in a queue instead of being processed inside it. A message
// that cannot be handled is logged and the messages behind it are handled all the same.
class MessageDispatcher : public QObject, public XmlDispatcher {
    Q_OBJECT

public:
    static constexpr auto kIncomingData = "Incoming data";
    static constexpr auto kAutoControlPatient = "AutoControl";
    // Complete messages are handled for this long in one call; the rest in the next.
    static constexpr int kTurnMs = 100;
    // Messages of one sender not handled, logged one by one until its complete messages are
    // done; the rest are counted in one line then.
    static constexpr int kFailuresLoggedEach = 10;

    explicit MessageDispatcher(MessageDispatcherContext context, QObject* parent = nullptr);

    using XmlDispatcher::Dispatch;
    QString Dispatch(const QString& text, PendingText& pending,
                     const QString& connectionIdentity) override;

    // Results waiting for an earlier one to be stored, and how often one had to wait.
    int WaitingResults() const { return int(m_waiting.size()); }
    int Collisions() const { return m_collisions; }
    // XML messages that failed and that were not recognised since the start.
    qint64 FailedMessages() const { return m_failedMessages; }
    qint64 UnrecognisedMessages() const { return m_unrecognised; }
    QString CollisionText() const;

signals:
    // A message was cut and classified (message: as classified; a patient-data message has lost
    // its namespace attribute).
    void messageCut(const QString& connectionIdentity, TMessageType type, const QString& message);
    // A message was handled without failure.
    void messageHandled(const QString& connectionIdentity, TMessageType type);
    void collisionsChanged();

private:
    ProcessingProgress& progress();
    // A live result with every value it needs, read before it waits.
    struct LiveResult {
        TTarvoSocket* record = nullptr;
        QString patientId;
        bool control = false;
        qint32 attemptNo = 0;
        QString vialId;
        QString statusText;
        QString timeText;
        QString unit;
        double value = 0;
        QString parameterName;
        QString place;
        QString lastName;
        QString firstName;
    };
    template <typename Sample>
    static LiveResult resultOf(const Sample& sample, TTarvoSocket& record, const QString& patientId,
                               bool control);

    // Messages of one sender not handled since its complete messages were last all done.
    struct FailureRun {
        int count = 0;
        QString last;
    };

    void handleMessage(TTarvoSocket& record, QString cut);
    void noteFailure(const QString& connectionIdentity, const QString& detail);
    void endFailureRun(const QString& connectionIdentity);
    void applyActivity(TMessageType type);
    void patientData(TTarvoSocket& record, const QString& message);
    bool namesPseudoPatient(const TTarvoSocket& record, const QString& patientId);
    void liveMeasurement(TTarvoSocket& record);
    void autoControl(TTarvoSocket& record);
    void admissionEvents(TTarvoSocket& record);
    // One log line for a message of no known type: its sender and root element.
    void logUnrecognised(const TTarvoSocket& record);
    void enqueue(LiveResult result);
    void processWaitingResults();

    MessageDispatcherContext m_context;
    TXMLDocument m_document;
    XmlArchive m_archive;
    std::deque<LiveResult> m_waiting;
    bool m_processingQueue = false;
    int m_collisions = 0;
    QHash<QString, FailureRun> m_failureRuns;
    qint64 m_failedMessages = 0;
    qint64 m_unrecognised = 0;
};
