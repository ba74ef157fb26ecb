// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The library folders the user chose, and where a path lies among them.

#include "library/librarystore.h"

#include <QString>
#include <optional>
#include <string>
#include <vector>

namespace library {

/// Where a file or folder lies in the library: its library folder, its folder relative to that, and
/// its name (empty for a library folder itself).
struct LibraryPlace {
    RootId root = 0;
    std::string folder;
    std::string name;
};

/// The library folder holding a path (absolute, Linux), and where in it. A folder's place names its
/// parent folder and its own name.
std::optional<LibraryPlace> placeOf(const std::vector<LibraryRoot>& roots, const std::string& native);

struct AddedFolder {
    std::optional<RootId> root; ///< none when it was refused
    QString message;            ///< what happened, for the user
};

/// Adds a folder named on the command line (a Linux path or a drive path) to the library. It must be
/// a folder on one of Tonfolio's drives; a link is resolved to its folder, and a folder already inside
/// a library folder is refused. Library folders inside the new one are taken into it.
AddedFolder addLibraryFolder(LibraryStore& store, const std::string& argument);

/// A library folder named on the command line (or a folder inside one: its library folder).
std::optional<LibraryRoot> libraryFolderOf(LibraryStore& store, const std::string& argument);

/// A path of the Linux file system as text for the user: odd bytes as the replacement character.
QString pathText(const std::string& native);

} // namespace library
