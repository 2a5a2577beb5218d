#pragma once

#include <ostream>

#include <QByteArray>
#include <QString>
#include <QStringList>

// Readable GoogleTest output for Qt's text types.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
    *out << '"' << bytes.toStdString() << '"';
}
