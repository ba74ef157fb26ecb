// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drive table of a timing program: its own temporary folder as the only drive, C:, a fixed disk.
#include "platform/files/drives.h"

#include <string>

inline void useAsOnlyDrive(const std::string& directory)
{
    platform::DriveInfo c;
    c.letter = 'C';
    c.directory = directory;
    c.kind = 3;
    c.label = "BENCH";
    c.serial = 0xBE;
    platform::setDriveTable({c});
}
