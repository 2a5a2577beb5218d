#pragma once

#include <QByteArray>
#include <QString>

// The 8-bit code page of every text file this system writes for Windows programs (event logs,
// patient record files, stored strings). Characters it cannot hold become '?'.
namespace Windows1252 {

QByteArray encode(const QString& text);
QString decode(const QByteArray& bytes);

// The text as it comes back from a trip through the code page: every character the code page
// cannot hold becomes '?' (a surrogate pair counts as one character).
void roundTrip(QString& text);

} // namespace Windows1252
