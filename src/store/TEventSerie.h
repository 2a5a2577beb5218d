#pragma once

#include <vector>

#include <QString>

#include "TStreamObject.h"

class TMicroWriter;

// One event: a short text at a time.
struct TEventPoint : TStreamObject {
    TEventPoint() = default;
    TEventPoint(double x, QString text) : X(x), Text(std::move(text)) {}

    double X = 0.0; // days since 1899-12-30
    QString Text;
};

// The events of a patient, stored alone in the patient's events file.
struct TEventSerie : TStreamObject {
    QString Caption;
    std::vector<TEventPoint> Points;

    // Writes the series as folding 1100 (see StoredFileTags.h).
    void WriteTo(TMicroWriter& writer) const;
};
