// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The table that maps drive letters onto directories of the Linux file system.
// Filled from the mount table unless replaced (tests and end-to-end runs point C: at a temporary folder).

#include "platform/types.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct DriveInfo {
    char letter = 'C';           ///< 'A' to 'Z'
    std::string directory;       ///< native directory of the drive root, without trailing '/' (except "/")
    UINT kind = 3;               ///< DRIVE_FIXED etc.
    std::string label;           ///< empty when the volume has none
    std::optional<DWORD> serial; ///< none: the serial number is taken from the file system
    std::string fileSystem;      ///< "ext4", "tmpfs", ...
};

/// The current drive table, letters ascending. Re-reads the mount table when it is the system's.
std::vector<DriveInfo> driveTable();
/// Replaces the drive table until useSystemDrives() is called.
void setDriveTable(const std::vector<DriveInfo>& drives);
/// Goes back to the drives of the mount table.
void useSystemDrives();
/// True while the table is a replaced one.
bool driveTableReplaced();

/// Parses a table text "C=/tmp/x;D=/mnt/y:removable:LABEL:1234ABCD" (kind, label and hex serial optional).
/// Used by end-to-end runs through the environment variable TONFOLIO_DRIVES.
std::vector<DriveInfo> parseDriveTable(const std::string& text);

/// Builds the letter table from a mountinfo text (as /proc/self/mountinfo gives it).
/// previous keeps letters that mounts already had; new mounts take the lowest free letter.
std::vector<DriveInfo> drivesFromMountInfo(const std::string& mountInfo, const std::vector<DriveInfo>& previous);

} // namespace platform
