// A drive letter of a chosen type (removable, network, CD, fixed) over a folder, for the life of
// the object: made through Wine's mount manager, the way winecfg defines drives. Wine only.
#pragma once

#include <windows.h>

#include <string>

namespace testkit {

class WineDrive {
public:
    // Takes the first free letter from P on for `folder` as a drive of `type` (DRIVE_REMOVABLE,
    // DRIVE_REMOTE, DRIVE_CDROM, DRIVE_FIXED).
    WineDrive(const std::string &folder, UINT type);
    // The letter is given back (the drive undefined).
    ~WineDrive();
    WineDrive(const WineDrive &) = delete;
    WineDrive &operator=(const WineDrive &) = delete;

    bool ok() const { return letter_ != 0; }
    // "P:\" and the like; "" when no drive was made.
    std::string root() const;

private:
    char letter_ = 0;
};

}  // namespace testkit
