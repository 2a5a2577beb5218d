#pragma once

#include <vector>

#include <QFile>
#include <QString>

#include "StoredFileParser.h"

// A point of a patient data file as a test compares it.
struct StoredPoint {
    QString parameter;
    QString place;
    QString unit;
    double value = 0;
    quint8 status = 0;
    QString statusText;
    double time = 0; // days since 1899-12-30
    QString vialId;
    qint32 attemptNo = 0;
};

// Every data point of the file, series by series; empty when the file cannot be read.
inline std::vector<StoredPoint> storedPoints(const QString& path) {
    std::vector<StoredPoint> points;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return points;
    const TStoredFileContent content = StoredFileParser::parse(file.readAll());
    for (const TParameterSerie* serie : content.series()) {
        if (!serie->Points)
            continue;
        for (const TSeriesPoint& point : serie->Points->Points) {
            if (const auto* data = std::get_if<TTarvoDataPoint>(&point))
                points.push_back({serie->Identity.ParameterName(),
                                  serie->Identity.MeasurementPlace(), serie->Unit, data->Y,
                                  data->AnalyseResult, data->AnalyseResultString, data->X,
                                  data->VialID, data->AttemptNo});
        }
    }
    return points;
}

inline int countOf(const std::vector<StoredPoint>& points, const QString& parameter) {
    int count = 0;
    for (const StoredPoint& point : points)
        count += point.parameter == parameter ? 1 : 0;
    return count;
}
