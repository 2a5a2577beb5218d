#pragma once

#include <QString>

// Gets a file out of the way: an absent file already is; otherwise it is deleted (deleteIt) or
// moved to the name followed by 0, 1, ... 100; failing that, it is moved to the name followed
// by "Last" (an older file of that name is deleted first). Returns whether the file is gone;
// movedTo, when given, receives the name it was moved to (empty when it was not moved).
bool MoveAsideFile(const QString& fileName, bool deleteIt, QString* movedTo = nullptr);
