#pragma once

#include <QByteArray>
#include <QString>

// The 8-bit code page of every text file this system writes for Windows programs (event logs,
// patient record files, stored strings). Characters it cannot hold become '?'.
namespace Windows1252 {

QByteArray encode(const QString& text);
QString decode(const QByteArray& bytes);

} // namespace Windows1252
