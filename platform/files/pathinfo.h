// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window needs to know about a path beyond the find functions: whether a folder is only a
// link to another one, and the address other programs understand for a file.

#include <string>

namespace platform {

/// True when the last component of the path is a symbolic link (to a folder or anything else).
/// Walking a branch stops at such folders, so a link back to an ancestor cannot make it endless.
bool IsLinkedFolder(const std::string& drivePath);

/// How many entries of the path's folder are named like its last component when letter case is
/// ignored, as path resolution compares names. More than one means the path may name another of them.
int SpellingsOf(const std::string& drivePath);

/// True when the path names an existing entry and every one of its names is spelt as the disk holds
/// it, so that no name was found by ignoring case: such a path reaches exactly the entry it was made
/// from, never another whose name differs only in case.
bool NamesExactly(const std::string& drivePath);

/// The file:// URL of an existing entry, its bytes percent-encoded; empty when the path names nothing.
std::string FileUrlOf(const std::string& drivePath);

} // namespace platform
