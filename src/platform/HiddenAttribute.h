#pragma once

#include <QString>

// Gives a file or folder the hidden attribute where the platform has one (Windows). Elsewhere
// nothing changes; returns whether the attribute is set or the platform has none.
bool setHiddenAttribute(const QString& path);
