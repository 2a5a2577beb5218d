#pragma once

#include "XMLTarvoParser.h"

struct CollectorState;
class Clock;
class EventLog;
class ResultProcessor;
class TSaveItNew;

// Turns a patient-data document into stored results: the first admission's patient is
// admitted, every measurement of every admission is stored for that patient, and lactate/glucose
// and lactate/pyruvate ratios are formed from results at the same time on the same catheter.
class PatientDataDocumentReader {
public:
    PatientDataDocumentReader(ResultProcessor& processor, const CollectorState& state,
                              EventLog& log, const Clock& clock);

    // force: store even when the patient is not collected; show: update the value grid;
    // hasAttemptNumbers: the document's text holds "<AttemptNo>". A measurement that cannot be
    // read ends the document with an "Error(3): " line; the ratios of what was read are still
    // stored.
    void ReadPatientDataDocument(TSaveItNew& writer, const XMLTarvoParser::TXMLTarvo& root,
                                 bool force, bool hasAttemptNumbers, bool show);

private:
    ResultProcessor& m_processor;
    const CollectorState& m_state;
    EventLog& m_log;
    const Clock& m_clock;
};
