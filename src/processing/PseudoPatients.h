#pragma once

#include <QString>

// The patients under which the collector itself keeps results that come from no patient-data
// document: the automatic controls of XML analyzers ("AutoControl") and, per analyzer of the
// line protocols, its controls (analyzer + " QC", last name "AutoControl") and calibrations
// (analyzer + " CAL", last name "Calibration"). Their data files cannot be rebuilt from an
// archive, so no document may name them.
namespace PseudoPatients {

inline constexpr auto kAutoControl = "AutoControl";
inline constexpr auto kControlSuffix = " QC";
inline constexpr auto kCalibrationSuffix = " CAL";
inline constexpr auto kControlLastName = "AutoControl";
inline constexpr auto kCalibrationLastName = "Calibration";

// True when a received patient ID names one of them. IDs are compared as they name folders:
// "AutoControl" in any case; an ID received with the " QC" or " CAL" ending; and an ID that only
// cleans to such a name (the blank is lost) when the record file of its folder bears the
// pseudo-patient's last name.
bool IsCollectorsOwn(const QString& receivedId, const QString& cleanedId, const QString& folder);

} // namespace PseudoPatients
