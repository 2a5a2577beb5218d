#pragma once

#include <QString>

struct InstallationLayout;

// The setting ExternalMediaDrive: where the analyzer's SD card (or another medium) is read. It
// holds one drive letter from D to Z; where the platform has no drive letters it may instead
// hold the folder the medium is mounted at.
namespace ExternalMediaDrive {

inline constexpr auto kPromptTitle = "Please enter source drive";
inline constexpr auto kPromptLabel = "Drive letter";

// The value to store for the operator's answer, or an empty text when nothing is to change
// (an empty answer, or a letter outside D to Z).
QString AcceptAnswer(const QString& answer);

// "Set External Media Drive (E:\)".
QString MenuCaption(const QString& value);

// The folder that holds the medium's patient folders: drive + ":\Data\" (or the mount folder
// followed by "Data"), ending with a separator. Empty when no drive is set.
QString SourceRoot(const QString& value, const InstallationLayout& layout);

} // namespace ExternalMediaDrive
