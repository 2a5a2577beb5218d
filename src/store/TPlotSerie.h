#pragma once

#include <variant>
#include <vector>

#include <QString>

// A stored result read back from a patient data file.
struct TTarvoDataPoint {
    double X = 0.0; // time: days since 1899-12-30
    double Y = 0.0; // value
    quint8 AnalyseResult = 0;
    QString AnalyseResultString;
    QString VialID;
    qint32 AttemptNo = 0;
    qint32 RecordTag = 0;     // 220, 221 or 222
    qint64 RecordOffset = -1; // where the record starts in the file
};

// A series break: the points before and after it are not joined.
struct TRecordDelimiterPoint {
    double X = 0.0;
    qint64 RecordOffset = -1;
};

using TSeriesPoint = std::variant<TTarvoDataPoint, TRecordDelimiterPoint>;

// The points of one parameter series, in file order.
struct TPlotSerie {
    std::vector<TSeriesPoint> Points;
};
