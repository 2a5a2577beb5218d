#pragma once

#include <vector>

#include <QStringList>

#include "TParameterSerie.h"

class TSaveItNew;

// The outcome of opening a patient's data file for storing a value.
struct TPatientDataFileOpening {
    bool opened = false;
    QString fileName;
    // The series defined in the file, in index order, without their points.
    std::vector<TParameterSerie> CurrentSeries;
    // Worth an event log line: files passed over because they are damaged or cannot be read
    // (each reported once while it stays as it is), and problems of the opened file (a record
    // cut short at its end).
    QStringList notices;
    // When nothing opened: every file tried, with the reason it was passed over.
    QStringList failures;
};

// Opens the patient data file of a patient folder for this monitor: "Tarvo.pil", or, when that
// belongs to another patient or monitor or is damaged, "Tarvo1.pil" ... "Tarvo99.pil", the first
// that can be created or belongs to this patient. A damaged file is left untouched. An empty file
// counts as absent. When a file cannot be created (a full disk) no further names are tried.
// When none can be used the writer is left without a file name, so nothing can be appended to a
// file of another patient or monitor.
TPatientDataFileOpening OpenPatientDataFile(TSaveItNew& writer, const QString& folder,
                                            const QString& patientFullName,
                                            const QString& patientId);

inline constexpr auto kPatientDataMonitorName = "Tarvo";
inline constexpr auto kPatientDataFileName = "Tarvo.pil";
inline constexpr int kPatientDataFileAttempts = 100;
