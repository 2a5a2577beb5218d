#pragma once

#include <QString>

#include "CollectorState.h"
#include "TarvoError.h"
#include "ZelTypes.h"

// Patient IDs as they arrive from analyzers, made fit to name a patient and its folder.
namespace PatientIdentity {

inline constexpr auto kNull = "NULL";

// Which operation cleans: results remove "-" too, admissions keep it.
enum class Cleaning { Result, Admission };

// Removes the characters that cannot stand in a folder name (and control characters, which have
// no place in an ID) and the dots it begins with (they would hide its folder), applies the ID
// reduction, and
// gives "NULL" (to be ignored) for an empty ID and for one that would name no ordinary folder
// ("." or "..", only dots, or a device name such as "CON"). refused, when given, tells whether
// "NULL" came from such a name (worth a log line) rather than from an empty or "NULL" ID.
// An ID longer than PatManagement::kLongestPatientId after the reduction is cut to that length;
// shortened, when given, tells whether it was.
QString Clean(const QString& rawId, Cleaning cleaning, IdReduction reduction,
              bool* refused = nullptr, bool* shortened = nullptr);

// A first or last name as it may be kept: without control characters (line breaks among them)
// and without "^", which separates the fields of a patient's registry value, cut to
// PatManagement::kLongestName characters (shortened tells whether it was).
QString CleanName(const QString& name, bool* shortened = nullptr);

// At most the first characters of a text that came from the network, for a log line.
QString LogExcerpt(const QString& text);

// The first or last ten characters of a longer ID, as the reduction setting says.
QString Reduce(const QString& id, IdReduction reduction);

// True for an ID that must not name a folder below the data root.
bool IsUnsafeFolderName(const QString& id);

// Raised when an ID given for a folder would leave the data root or name a reserved name.
class EUnsafePatientId : public TarvoError {
public:
    explicit EUnsafePatientId(const QString& id);
};

// The patient's folder below the root (a folder text ending with a separator). An ID of the
// form "12345678.$90" keeps that form. Throws EUnsafePatientId for IDs that are not safe.
QString PatientFolderFor(const QString& id, const QString& root, IdReduction reduction);

// The stored status of a result's status text.
TAnalyseResult StatusFromText(const QString& statusText);

// The substance key registered with a new series of the parameter ("OstraSubstance1" ...).
QString SubstanceName(const QString& parameterName);

// "<parameter> <place> = <value> <unit>", the value with 3, 2, 1 or 0 decimals below 1, 10,
// 100 and above, written with the current decimal separator.
QString LatestValueText(const QString& parameterName, const QString& place, double value,
                        const QString& unit);

// What a latest-value text is written from, kept so that the text is written only when it is
// read: the separator is the decimal separator that was current when the value was shown.
struct LatestValueParts {
    QString parameterName;
    QString place;
    QString unit;
    double value = 0;
    QChar separator = u'.';
};

// The text of the parts, as LatestValueText writes it with their separator.
QString LatestValueText(const LatestValueParts& parts);

} // namespace PatientIdentity
