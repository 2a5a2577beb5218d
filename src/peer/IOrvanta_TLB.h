#pragma once

#include <functional>
#include <memory>
#include <QString>

#include "TarvoError.h"

// The Orvanta automation server's interface as the collector uses it: four operations of the
// server's automation object. Every operation reports failure (the server refused the call,
// is gone, or did not answer in time) by throwing EOrvantaCallFailed.

class EOrvantaCallFailed : public TarvoError {
public:
    using TarvoError::TarvoError;
};

// The collection state values the server is told about.
enum class OrvantaCollectState : qint32 { NotCollecting = 1, Collecting = 2 };

class IPanoptraAutoObject {
public:
    virtual ~IPanoptraAutoObject() = default;

    // A result has been stored; the server re-reads what changed.
    virtual void NotifyUpdate() = 0;
    // handle: always 0.
    virtual void ReportCollectState(qint32 handle, qint32 state) = 0;
    // handle and reserved: always 0; time: days since 1899-12-30.
    virtual void AddEndPoint(qint32 handle, const QString& parameterName, const QString& unit,
                             double time, qint32 reserved) = 0;
    // time: days since 1899-12-30.
    virtual void AddResult(const QString& patientId, const QString& parameterName,
                           const QString& measurementPlace, const QString& unit, double time,
                           double value) = 0;
};

// Creates the server's automation object; throws EOrvantaCallFailed when that is not possible.
using CoPanoptraAutoObjectFactory = std::function<std::unique_ptr<IPanoptraAutoObject>()>;
