#pragma once

#include <QString>

// Fixed beginnings of event log lines that tell where a failure was caught.
namespace LogPrefix {
inline constexpr auto kStartup = "Error: ";
inline constexpr auto kSettingsFile = "Error(1): ";  // a settings file that cannot be read
inline constexpr auto kAdmission = "Error(2): ";     // admission message, rebuild from archive
inline constexpr auto kArchivedFile = "Error(3): ";  // archived XML file into series (+ index)
inline constexpr auto kPortSetup = "Error(4): ";     // setting the analyzer port at start-up
inline constexpr auto kPortChange = "Error(5): ";    // saving settings, changing the port
inline constexpr auto kEventsFile = "Error(7): ";    // writing the events file
inline constexpr auto kExternalMedia = "Error(8): "; // copying from external media
inline constexpr auto kPatientCheck = "Error(9): ";  // ticking or unticking a patient
inline constexpr auto kApplication = "Application error: ";
} // namespace LogPrefix

namespace LogPrefix {
// True for a line of a failure: one of the prefixes above.
inline bool isFailure(const QString& message) {
    for (const char* prefix :
         {kStartup, kSettingsFile, kAdmission, kArchivedFile, kPortSetup, kPortChange, kEventsFile,
          kExternalMedia, kPatientCheck, kApplication}) {
        if (message.startsWith(QLatin1String(prefix)))
            return true;
    }
    return false;
}
} // namespace LogPrefix
