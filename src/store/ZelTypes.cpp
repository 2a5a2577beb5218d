#include "ZelTypes.h"

#include <array>

QString fileTypeName(qint32 fileType) {
    static const std::array<const char*, 15> names = {"ftUnknown",
                                                      "ftData",
                                                      "ftTemplate",
                                                      "ftAllData",
                                                      "ftAllTemplate",
                                                      "ftSaveSinglePlot",
                                                      "ftScreenAndMemory",
                                                      "ftSingleSerie",
                                                      "ftMonitorData",
                                                      "ftSingleEventSerie",
                                                      "ftVideoFileController",
                                                      "ftSingleTSerie",
                                                      "ftSingleTYYSerie",
                                                      "ftSingleTHistogramSerie",
                                                      "ftDrugDoseSerie"};
    if (fileType < 0 || fileType >= qint32(names.size()))
        return QStringLiteral("unknown (%1)").arg(fileType);
    return QLatin1String(names[std::size_t(fileType)]);
}

QString analyseResultName(quint8 status) {
    static const std::array<const char*, 8> names = {"arNormal",
                                                     "arUnderDetectionLimit",
                                                     "arOverLinearityInterval",
                                                     "arBelowReportableRange",
                                                     "arAboveReportableRange",
                                                     "arOutsideReportableRange",
                                                     "arUndefined",
                                                     "arString"};
    if (status >= names.size())
        return QStringLiteral("unknown (%1)").arg(status);
    return QLatin1String(names[status]);
}
