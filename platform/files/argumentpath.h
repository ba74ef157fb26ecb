// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a folder or file named on the command line, or handed over by a later start, is called in
// the program: a drive-letter path.

#include <string>

namespace platform {

/// The drive-letter path an argument names. A drive path ("C:\SOUNDS", "c:/sounds", "D:") is kept as
/// it is, with backslashes; a Linux path, absolute or relative to the current folder, or a local
/// file:// URL, goes through the drive table. Empty when the argument is empty or no drive holds it.
/// Nothing is checked on disk, but what the layer remembers of folders is dropped: another program
/// may have made the path a moment ago, so it and its folders are looked up afresh.
std::string DrivePathOfArgument(const std::string& argument);

} // namespace platform
