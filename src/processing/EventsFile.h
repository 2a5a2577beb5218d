#pragma once

#include <vector>

#include <QDateTime>
#include <QString>

#include "XMLTarvoEventsFromFileParser.h"
#include "XMLTarvoEventsParser.h"

struct CollectorState;
class Clock;
class ProcessingProgress;
class EventLog;
class ResultProcessor;
class TSaveItNew;

// One event read from a message or document.
struct TEventItem {
    QString Text;
    QDateTime Time;
};

// The patient's events file "TarvoEvents.pil": written anew from each admission message or
// events document, replacing the events it held.
class EventsFile {
public:
    static constexpr auto kFileName = "TarvoEvents.pil";

    // processor (when given) announces every event written.
    EventsFile(TSaveItNew& writer, const CollectorState& state, ProcessingProgress& progress,
               EventLog& log, const Clock& clock, ResultProcessor* processor = nullptr);

    // Reads the events and the patient, sets the current patient and writes the events file
    // into the folder where the admission's results are stored (the ID cleaned as for an
    // admission). Failures, an ID that names no patient among them, are logged as
    // "Error(2): " + message; nothing of this message is kept.
    void ReadEvents(const XMLTarvoEventsParser::TXMLAdmissionType& admission);
    void ReadEvents(const XMLTarvoEventsFromFileParser::TXMLEventsType& events);

    // Writes the events of the event list into the current patient's events file; a failed
    // save is logged as "Error(7): Could not save Events".
    void WriteEventsFile();

    const std::vector<TEventItem>& EventList() const { return m_events; }
    // The event list of a message read line by line.
    void AddEvent(TEventItem item) { m_events.push_back(std::move(item)); }
    void ClearEvents() { m_events.clear(); }

private:
    template <typename Source> void readEvents(const Source& source);

    TSaveItNew& m_writer;
    const CollectorState& m_state;
    ProcessingProgress& m_progress; // the current patient is set here
    EventLog& m_log;
    const Clock& m_clock;
    ResultProcessor* m_processor;
    std::vector<TEventItem> m_events;
};
