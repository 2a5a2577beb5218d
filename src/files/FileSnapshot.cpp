#include "FileSnapshot.h"

#include <QFileInfo>

#include "TATFileNotifyOption.h"

FileSnapshot FileSnapshot::Take(const QString& path) {
    QFileInfo info(path);
    info.setCaching(false);
    FileSnapshot snapshot;
    snapshot.exists = info.exists();
    if (!snapshot.exists)
        return snapshot;
    snapshot.size = info.size();
    // The attribute bits of this platform: permissions, and hidden (a leading dot elsewhere
    // than on Windows).
    snapshot.attributes = unsigned(info.permissions()) | (info.isHidden() ? 0x80000000u : 0u);
    snapshot.lastWrite = info.lastModified();
    snapshot.creation = info.birthTime();
    snapshot.lastAccess = info.lastRead();
    return snapshot;
}

bool FileSnapshot::DiffersUnder(const FileSnapshot& other, unsigned filter) const {
    if (exists != other.exists)
        return true;
    return ((filter & foNotifyAttributes) && attributes != other.attributes) ||
           ((filter & foNotifySize) && size != other.size) ||
           ((filter & foNotifyLastWrite) && lastWrite != other.lastWrite) ||
           ((filter & foNotifyLastAccess) && lastAccess != other.lastAccess) ||
           ((filter & foNotifyCreation) && creation != other.creation);
}
