#pragma once

#include <QByteArray>
#include <QChar>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include "StoredFileContent.h"

// The results of a patient data file in forms other programs read: a CSV table for a
// spreadsheet and a FHIR R4 Bundle for a hospital's systems. Every result point becomes one row
// or one Observation, in time order; series breaks are left out.
namespace Export {

struct CsvFormat {
    QChar separator = u',';
    QChar decimalMark = u'.';

    // What a spreadsheet of the locale expects: where the decimal mark is a comma, fields are
    // separated by semicolons; elsewhere by commas.
    static CsvFormat forLocale(const QLocale& locale);
};

// UTF-8 with a byte order mark (so that spreadsheets recognise the encoding), CRLF line ends,
// a header row, then one row per point: time, parameter, site, unit, value, status. Text that a
// spreadsheet would take for a formula is prefixed with an apostrophe.
QByteArray csv(const TStoredFileContent& content, const CsvFormat& format);

// A Bundle of type "collection" with one Observation per point; exportedAt is its timestamp.
QByteArray fhir(const TStoredFileContent& content, const QDateTime& exportedAt);

// The point's local time in ISO 8601 with the offset from UTC in force then
// ("2026-12-08T12:00:00+01:00"); empty for a time that cannot be shown.
QString isoTime(double days);

// The UCUM code for a unit as analyzers and the store spell it ("mM" -> "mmol/L",
// "µM" -> "umol/L"); empty when there is none.
QString ucumUnit(const QString& unit);

// How many result points the file holds.
qsizetype pointCount(const TStoredFileContent& content);

} // namespace Export
