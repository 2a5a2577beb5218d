#pragma once

#include <QString>

// Where this installation keeps its settings, its ini file and what Windows calls drive C.
//
// Standard mode: settings in the user's and the machine's configuration folders, the ini file
// beside the executable, drive C at the user's home folder. Portable mode (--root DIR): all of
// it below DIR, so that a test or a second installation never touches the real settings.
// On Windows drive C is drive C and the settings live in the registry.
struct InstallationLayout {
    QString rootFolder;           // settings root; holds the single-instance lock
    QString currentUserHiveFile;  // empty: the native registry
    QString localMachineHiveFile; // empty: the native registry
    QString iniFolder;            // folder of "TarvoCollect.Ini", ends with a separator
    QString driveC;               // folder standing in for "C:\", ends with a separator
    bool portable = false;

    static InstallationLayout standard(const QString& executableFolder);
    static InstallationLayout portableAt(const QString& folder);

    // Turns a folder or file text in Windows form into the native form of this installation:
    // "C:\TEMP\" becomes driveC + "TEMP/" on Linux. Other texts only get native separators.
    // Other drive letters (external media) are folders too: DIR/E/ in portable mode, /mnt/e/
    // otherwise.
    QString nativePath(const QString& windowsText) const;
    QString otherDriveFolder(QChar letter) const;
};

// Appends the native separator when the folder text does not end with one.
QString withTrailingSeparator(const QString& folder);

// The native separator as text ("\" on Windows, "/" elsewhere).
QString nativeSeparator();
