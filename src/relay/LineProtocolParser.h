#pragma once

#include <functional>
#include <map>

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "EventsFile.h"

struct CollectorState;
class Clock;
class EventLog;
class ResultProcessor;
class TRelayList;
class TSaveItNew;
class TSimpleCounter;

// Everything the line parser reads and changes, owned by the collector.
struct LineParserContext {
    CollectorState& state;
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
    std::function<void()> stopRelayTimer;
};

// Turns the record lines of the line protocols (H, P, O, R and L records, each message ended by
// a line holding EOT alone) into stored results, events and, for the full relay, relay
// messages. The patient, the delimiters and the current sample carry over from one batch to
// the next: a message without a header uses the previous delimiters, one without a patient
// record the previous patient.
class LineProtocolParser {
public:
    static constexpr auto kEventText = "EventText";
    static constexpr auto kEventItem = "EventItem";
    static constexpr auto kClosingRecord = "L|1|N";
    // A relay queue longer than this is dropped when a batch fails.
    static constexpr qsizetype kRelayGuard = 10000;

    explicit LineProtocolParser(LineParserContext context);

    // Walks the lines and empties the list. Lines added while the walk runs (the event loop may
    // run inside result processing) are walked after it.
    void ProcessLineHL7(QStringList& theLines);

    const QString& PatientId() const { return m_patientId; }
    const QString& LastName() const { return m_lastName; }
    const QString& FirstName() const { return m_firstName; }
    const QDateTime& SampleTime() const { return m_sampleTime; }
    const std::vector<TEventItem>& EventList() const { return m_events.EventList(); }
    // The writer of the end points of a patient whose results arrive in record lines: the
    // writer of these results while the patient is the one an analyzer sent last, null
    // otherwise.
    TSaveItNew* WriterForPatient(const QString& patientId) const;

private:
    struct Batch;
    void walk(QStringList& lines);
    void line(const QString& text, Batch& batch);
    void endOfMessage(Batch& batch);
    void header(const QString& text, Batch& batch);
    void order(QString text, Batch& batch);
    void patient(const QString& text, Batch& batch);
    void result(const QString& text, Batch& batch);
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

    // Carried over from batch to batch.
    QChar m_fieldDelimiter = u'|';
    QChar m_componentDelimiter = u'^';
    QString m_patientId;
    QString m_lastName;
    QString m_firstName;
    QString m_patientFolder;
    QString m_sampleLabel;
    QDateTime m_sampleTime;
    QString m_testName;
    QString m_units;
    double m_value = 0;
    // The patient (cleaned ID) each analyzer sent its last result for, by analyzer identity.
    std::map<QString, QString> m_lastPatientOf;
};
