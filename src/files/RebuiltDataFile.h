#pragma once

#include <QString>
#include <QStringList>

// A patient data file is rebuilt beside the one in use, under a name of the rebuilding
// process's own ("Tarvo.pil.<host>-<process>.new" beside "Tarvo.pil"), and takes its place
// only once it is complete and checked, so that no reader of the data file ever sees a
// half-built one and two collectors never write into one file. A rebuilt file found at start-up
// is left from a rebuild that was interrupted.
namespace RebuiltDataFile {

inline constexpr auto kSuffix = ".new";

// The name this process rebuilds the data file under.
QString NameFor(const QString& dataFile);

// The rebuilt files (of any process) beside the data file.
QStringList LeftBeside(const QString& dataFile);

// The names of the data root's patient folders that hold a rebuilt data file.
QStringList InterruptedIn(const QString& dataRoot);

// Why the rebuilt file cannot take the data file's place (it cannot be read, is damaged or cut
// short, or holds no monitor information); empty when it is whole.
QString Check(const QString& rebuiltFile);

// How many results (data points) of the old file the rebuilt one does not hold; a rebuilt file
// that is absent holds none. A result counts as held when a point of the same series (name,
// place, extra name and unit) has the same time, value, status, status text, vial and attempt.
int MissingResults(const QString& oldFile, const QString& rebuiltFile);

// What putting the rebuilt file in place did.
struct Replacement {
    bool replaced = false;
    int missingResults = 0; // results of the old file that the rebuilt one does not hold
    QString keptAs;         // where the old file went when it held such results
    QString failure;
};

// Puts the rebuilt file (or, when nothing was rebuilt, nothing) in the data file's place. An
// old file holding results that the rebuilt one does not hold is moved aside (MoveAsideFile's
// numbering) instead of being deleted. When the rebuilt file cannot take the place, the old
// file stays and the rebuilt one is removed.
Replacement Replace(const QString& dataFile, const QString& rebuiltFile);

} // namespace RebuiltDataFile
