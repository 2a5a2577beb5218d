#pragma once

#include <deque>
#include <functional>
#include <map>

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "EventsFile.h"
#include "LineFraming.h"

struct CollectorState;
class Clock;
class EventLog;
class ResultProcessor;
class TRelayList;
class TSaveItNew;
class TSimpleCounter;

// Everything the line parser reads and changes, owned by the collector.
struct LineParserContext {
    const CollectorState& state;
    EventLog& log;
    ResultProcessor& processor;
    TSaveItNew& writer; // the writer of results without a connection record
    const Clock& clock;
    // Receiving lines counts as a present analyzer link.
    std::function<void()> linkPresent;
    // The relay queue (the full relay only) and the counter of the diagnostic files.
    TRelayList* relay = nullptr;
    TSimpleCounter* counter = nullptr;
    std::function<void()> startRelayTimer;
};

// Turns the record lines of the line protocols (H, P, O, R and L records, each message ended by
// a line holding EOT alone) into stored results, events and, for the full relay, relay
// messages. Every source (an analyzer connection, the serial line) has a parse state of its
// own: the patient, the delimiters and the current sample carry over from one batch of that
// source to its next (a message without a header uses the previous delimiters, one without a
// patient record the previous patient) and never to another source. A message that fails costs
// that message only: its lines go to the diagnostics folder, and it enters the relay queue not
// at all.
class LineProtocolParser {
public:
    static constexpr auto kEventText = "EventText";
    static constexpr auto kEventItem = "EventItem";
    static constexpr auto kClosingRecord = "L|1|N";
    // The lines of failed messages, in the diagnostics folder; moved aside to ".old" past
    // kFailedFileLimit bytes.
    static constexpr auto kFailedFileName = "FailedLineMessages.txt";
    static constexpr qint64 kFailedFileLimit = qint64(16) << 20;

    explicit LineProtocolParser(LineParserContext context);

    // Walks the batches and empties the queue. Batches added while the walk runs (the event loop
    // may run inside result processing) are walked after it.
    void ProcessLineHL7(std::deque<LineBatch>& batches);
    // The same for lines of one source.
    void ProcessLineHL7(const QString& source, QStringList lines);

    // The parse state of the source walked last.
    const QString& PatientId() const { return m_current.patientId; }
    const QString& LastName() const { return m_current.lastName; }
    const QString& FirstName() const { return m_current.firstName; }
    const QDateTime& SampleTime() const { return m_current.sampleTime; }
    // Messages that failed and results refused since the start.
    qint64 FailedMessages() const { return m_failedMessages; }
    qint64 RefusedResults() const { return m_refusedResults; }
    // Sources whose parse state is kept.
    qsizetype Sources() const { return qsizetype(m_sources.size()); }
    const std::vector<TEventItem>& EventList() const { return m_events.EventList(); }
    // The writer of the end points of a patient whose results arrive in record lines: the
    // writer of these results while the patient is the one an analyzer sent last, null
    // otherwise.
    TSaveItNew* WriterForPatient(const QString& patientId) const;

private:
    struct Batch;
    // What carries over from one batch of a source to its next.
    struct Carried {
        QChar fieldDelimiter = u'|';
        QChar componentDelimiter = u'^';
        QString patientId;
        QString lastName;
        QString firstName;
        QString patientFolder;
        QString sampleLabel;
        QDateTime sampleTime;
        QString testName;
        QString units;
        double value = 0;
    };
    void walk(const LineBatch& batch);
    void failed(const QStringList& lines, qsizetype first, qsizetype at, const QString& source,
                const QString& reason);
    void refused(const QString& what, const QString& line);
    void line(const QString& text, Batch& batch);
    void endOfMessage(Batch& batch);
    void header(const QString& text, Batch& batch);
    void order(QString text, Batch& batch);
    void patient(const QString& text, Batch& batch);
    void result(const QString& text, Batch& batch);
    // Where a result is stored: the parameter, its place and vial. Calibrations and controls go
    // to the analyzer's own calibration and control patients, with place and vial swapped.
    struct Placement {
        QString parameterName;
        QString place;
        QString vialId;
    };
    Placement placementOf(const Batch& batch);
    void relay(const QString& record);
    void relayControl(char control);
    void writeEvents();
    void saveRelayMessage();
    QString field(const QString& text, int number) const;
    QString component(const QString& text, int number) const;
    QString folderFor(const QString& id) const;

    LineParserContext m_context;
    EventsFile m_events;
    bool m_walking = false;

    Carried m_current;
    qint64 m_failedMessages = 0;
    qint64 m_refusedResults = 0;
    std::map<QString, Carried> m_sources;
    // The patient (cleaned ID) each analyzer sent its last result for, by analyzer identity.
    std::map<QString, QString> m_lastPatientOf;
};
