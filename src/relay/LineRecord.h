#pragma once

#include <optional>

#include <QChar>
#include <QDateTime>
#include <QString>

// Fields and components of one record line. Fields are numbered from 1, field 1 being the record
// type letter; field n is the text between the (n-1)-th and the n-th delimiter, the rest of the
// line for the last field, and empty when the line has fewer fields. Components are found the
// same way within a field.
namespace LineRecord {

QString Part(const QString& text, QChar delimiter, int number);

// "yyyymmddhhnn" (seconds 0) or "yyyymmddhhnnss"; nothing when the text does not convert.
std::optional<QDateTime> MinuteTime(const QString& text);
std::optional<QDateTime> SecondTime(const QString& text);

// A result value written with either decimal separator: the first occurrence of the separator
// that `separator` is not is taken for it. Nothing for a text that is not a finite number
// (empty, "n/a", "1.2.3", "inf", "nan").
std::optional<double> Value(const QString& text, QChar separator);

// The ID of a patient record: the first ",", then the first ".", then the first "-" removed;
// an empty ID becomes "NULL".
QString CleanPatientId(const QString& id);

} // namespace LineRecord
