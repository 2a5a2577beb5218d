#pragma once

#include <memory>

#include <QString>

#include "TPlotSerie.h"
#include "TStreamObject.h"
#include "TUniqueParameterInformation.h"

// A series definition of a patient data file: its index, unit and parameter identity, and,
// when the file has been read, the points that belong to it.
struct TParameterSerie : TStreamObject {
    qint16 Index = 0;
    QString Unit;
    TUniqueParameterInformation Identity;
    std::shared_ptr<TPlotSerie> Points; // null until the first point

    // Copies index, unit, identity and the reference to the points.
    void Assign(const TParameterSerie& other) {
        Index = other.Index;
        Unit = other.Unit;
        Identity.Assign(other.Identity);
        Points = other.Points;
    }
    // The definition alone, without the points.
    TParameterSerie DefinitionOnly() const {
        TParameterSerie copy;
        copy.Assign(*this);
        copy.Points.reset();
        return copy;
    }
};
