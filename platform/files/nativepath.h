// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// For the system layer's own use: turns drive-letter paths into Linux paths and back.
// Application code never sees a Linux path.

#include "platform/files/drives.h"

#include <optional>
#include <string>

namespace platform {

/// The Linux path of a drive-letter path. Each existing component resolves to the entry of that name,
/// else to one whose name equals it ignoring case (the first in byte order when several do).
/// The last component may be missing on disk (it is then kept as given). Fails (nullopt, last error set)
/// for an empty or relative path, an unknown drive, a missing or non-folder middle component, or a
/// component holding '/' or NUL. "." and ".." are resolved by text and never climb above the drive root.
std::optional<std::string> nativePath(const std::string& drivePath);

/// Like nativePath, but every component must exist.
std::optional<std::string> existingNativePath(const std::string& drivePath);

/// The drive-letter path of a Linux path ("/" style), by the drive whose directory holds it most
/// closely; empty when no drive holds it.
std::string drivePathOf(const std::string& native);

/// Opens a regular file for reading (O_RDONLY | O_NOFOLLOW not used: links to regular files are fine).
/// FIFOs, devices, sockets and folders are refused without blocking. Returns -1 and sets the last error.
/// A path starting with '/' is a Linux path, as the library's walks name the files they found.
int openRegularFile(const std::string& drivePath);

/// Runs the open hook of setOpenHook, if one is set.
void callOpenHook(const std::string& drivePath);

/// Forgets cached folder listings (after the system layer changed a folder).
void invalidateListings();

/// The drive entry of a letter (either case), if the table has one.
std::optional<DriveInfo> driveOf(char letter);

/// Re-reads the mount table when the drive table is the system's.
void refreshSystemDrives();
/// Calls refreshSystemDrives when the kernel reports a change of the mount table since the last call.
void refreshSystemDrivesIfChanged();

/// Case folding of one name: Unicode simple case folding for valid UTF-8, ASCII folding otherwise.
std::string foldCase(const std::string& name);

} // namespace platform
