#pragma once

#include <QString>

#include "TarvoError.h"

// Kinds of content an object stream file holds (stored as an integer in the file information).
enum class TZelFileType : qint32 {
    ftUnknown = 0,
    ftData = 1,
    ftTemplate = 2,
    ftAllData = 3,
    ftAllTemplate = 4,
    ftSaveSinglePlot = 5,
    ftScreenAndMemory = 6,
    ftSingleSerie = 7,
    ftMonitorData = 8,
    ftSingleEventSerie = 9,
    ftVideoFileController = 10,
    ftSingleTSerie = 11,
    ftSingleTYYSerie = 12,
    ftSingleTHistogramSerie = 13,
    ftDrugDoseSerie = 14,
};

QString fileTypeName(qint32 fileType);

// Status of an analysed value; one byte in point records.
enum class TAnalyseResult : quint8 {
    arNormal = 0,
    arUnderDetectionLimit = 1,
    arOverLinearityInterval = 2,
    arBelowReportableRange = 3,
    arAboveReportableRange = 4,
    arOutsideReportableRange = 5,
    arUndefined = 6,
    arString = 7,
};

QString analyseResultName(quint8 status);

// Failures of the object stream layer. The message is the exact text users and logs see.
class EZelError : public TarvoError {
public:
    using TarvoError::TarvoError;
};

// The stream does not start like an object stream file.
class EInvalidZelFIle : public EZelError {
public:
    using EZelError::EZelError;
};

// A single-object file was to be saved while the writer is read-only.
class EIsReadOnly : public EZelError {
public:
    using EZelError::EZelError;
};

namespace ZelText {
inline constexpr auto kNoZelFile = "Exception: No Zel file";
inline constexpr auto kNotValidZelFile = "Exception:Not a valid zel-file";
inline constexpr auto kFoldingsDoNotMatch = "Exception:Foldings do not match";
inline constexpr auto kGroupsAndFoldingsMixed = "Exception:Groups and foldings have been mixed up";
inline constexpr auto kCorrupted = "Exception:The file has been corrupted.";
inline constexpr auto kErrorInFile = "Exception:Error in file";
inline constexpr auto kRecordTypeNotImplemented =
    "Exception:RecordType not implemented for this class. jhdsa783241";
inline constexpr auto kCouldNotGetInterface = "Exception:Could not get Interface. daiu873";
inline constexpr auto kSetCurrentObject = "Exception:Error in MicroReader.SetCurrentObject";
inline constexpr auto kNoStream = "Exception:No Stream";
inline constexpr auto kIncorrectFiletype = "Exception:Incorrect filetype";
inline constexpr auto kFileDoesNotMatch = "Exception:The existing file does not match!";
inline constexpr auto kNoMonitorInfo = "Exception:No MonitorInfo!";
inline constexpr auto kAnotherMonitor = "The save file contains data from another monitor";
inline constexpr auto kIndexGap = "There is something rutten in the state of Index";
inline constexpr auto kReadOnly = "Read only";
inline constexpr auto kHeaderWords = "Keldamed Analysis Save File Header";
} // namespace ZelText
