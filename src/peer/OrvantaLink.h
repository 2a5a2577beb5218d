#pragma once

#include <memory>

#include <QDateTime>

#include "IOrvanta_TLB.h"

class EventLog;

// The collector's side of the Orvanta automation link: the automation object and the
// automation-active flag. Calls are made only while the flag is set; which failures clear it
// for good (until the next start of the program) depends on the caller, as documented on each
// operation. A failed call never changes what the collector stores or the collection state it
// keeps: the caller has done its own work before it reports, and the failure is one log line
// (except for NotifyUpdate, whose failure only ends the link).
class OrvantaLink {
public:
    explicit OrvantaLink(EventLog& log);

    // The link is active from here on.
    void attach(std::unique_ptr<IPanoptraAutoObject> automation);
    // The link is inactive and the object released.
    void detach();

    bool isActive() const { return m_active; }

    // After a stored result: logs "Orvanta update", or "No Orvanta update, not active" when
    // the link is inactive. A failed call clears the flag and logs nothing.
    void notifyUpdate();

    // A change of the collection state. Returns false when the server did not take it (logged;
    // the flag stays set) or the link is inactive.
    bool reportCollectStateChange(OrvantaCollectState state);

    // The Start command's report; a failure is logged and clears the flag.
    void reportCollectingStarted();

    // An end point written at Stop or when a patient is unticked; a failure is logged and
    // clears the flag.
    void addEndPoint(const QString& parameterName, const QString& unit, const QDateTime& time);

    // An announced result, made after the result was stored. Returns false when the server did
    // not take it (logged with the result; the flag stays set) or the link is inactive.
    bool addResult(const QString& patientId, const QString& parameterName,
                   const QString& measurementPlace, const QString& unit, const QDateTime& time,
                   double value);

private:
    // Runs one call; on failure logs the operation, what went wrong and the detail, clears the
    // flag when asked, and reports false.
    template <typename Call>
    bool attempt(const char* operation, const QString& detail, Call&& call, bool clearOnFailure);

    EventLog& m_log;
    std::unique_ptr<IPanoptraAutoObject> m_automation;
    bool m_active = false;
};
