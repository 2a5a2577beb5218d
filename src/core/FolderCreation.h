#pragma once

#include <QString>

// Creating folders with a reason when it cannot be done: QDir tells only that it failed, and a
// log line that names neither the folder nor the cause leaves the engineer guessing.
namespace FolderCreation {

// Creates the folder and its missing parents; empty on success, else why not ("/x is a file,
// not a folder", "no permission to write in /x", "the file system of /x is read-only", "the disk
// of /x is full").
QString create(const QString& folder);

// Why the folder could not be created or written to now, without creating anything; empty when
// it exists and can be written, or when it is missing and could be created.
QString whyNotUsable(const QString& folder);

} // namespace FolderCreation
