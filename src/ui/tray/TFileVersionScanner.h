#pragma once

#include <QString>

// The program's version, shown in the window caption.
class TFileVersionScanner {
public:
    static constexpr auto kUnknownVersion = "Unknown version";

    QString About() const;
    // The application version, or "Unknown version" when the program has none.
    QString GetVersion() const;
};
