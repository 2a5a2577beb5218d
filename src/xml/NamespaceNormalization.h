#pragma once

#include <QString>

// The analyzers' patient-data namespaces. 2004 and 2008 share a host.
namespace PatientDataNamespace {
inline constexpr auto k2004 = "http://www.tarvo-analyzer.com/XMLSchema/2004/PatientData.xsd";
inline constexpr auto k2008 = "http://www.tarvo-analyzer.com/XMLSchema/2008/PatientData.xsd";
inline constexpr auto k2012 = "http://schemas.keldamed.se/XMLSchema/2012/PatientData.xsd";

// The root start tag of a patient-data document with that namespace.
QString rootStartTag(const char* ns);
} // namespace PatientDataNamespace

// Which patient-data schema a text's root start tag names.
enum class PatientDataSchema { None, Year2004, Year2008Or2012 };

// Removes the namespace attribute of a patient-data root start tag (its first occurrence, with
// its leading blank), so that the document binds without a namespace. Returns the schema found.
PatientDataSchema NormalizeNamespace(QString& text);
