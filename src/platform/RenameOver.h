#pragma once

#include <QString>

// Renames a file onto another name in one step, replacing a file of that name: readers see
// either the old file or the new one, never a mix or none. Nothing is forced to the disk.
// Returns false, with the system's reason in error when given, when the rename was refused
// (on Windows, for example, while another program holds the target open without sharing it).
bool renameOver(const QString& from, const QString& to, QString* error = nullptr);
