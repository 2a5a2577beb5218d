#pragma once

// The kinds of change a file notification watches. Each option's value is the bit it adds to
// the change filter, so a set of options is its own filter.
enum TATFileNotifyOption : unsigned {
    foNotifyFilename = 0x1,
    foNotifyDirname = 0x2,
    foNotifyAttributes = 0x4,
    foNotifySize = 0x8,
    foNotifyLastWrite = 0x10,
    foNotifyLastAccess = 0x20,
    foNotifyCreation = 0x40,
    foNotifySecurity = 0x100,
};

using TATFileNotifyOptions = unsigned;
