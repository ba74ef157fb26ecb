// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Inside the file calls of files.h: what the searches, the moves and the other calls share.

#include <string>

namespace platform::files_detail {

/// "." or "..", which every folder holds and which are never anything but folders.
bool isDotName(const std::string& n);

/// The folder of a drive-letter path (with its backslash) and, in last, its last component; a root
/// stays a root with an empty last component.
std::string parentOf(const std::string& drivePath, std::string* last);

/// Sets the last error from an errno value and returns false.
bool fail(int err);

} // namespace platform::files_detail
