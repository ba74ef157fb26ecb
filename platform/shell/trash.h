// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop's trash (freedesktop.org trash specification): the home trash under
// $XDG_DATA_HOME/Trash for the home file system, a volume's own .Trash/$uid or .Trash-$uid elsewhere.

#include <string>

namespace platform {

struct TrashResult {
    enum Status {
        Trashed, ///< moved into the trash, info written
        Missing, ///< the item does not exist
        NoTrash, ///< no trash can be used on the item's file system; the item is untouched
        Failed,  ///< the trash exists but the move failed (error holds errno); the item is untouched
    };
    Status status = Failed;
    int error = 0;
    std::string trashedPath; ///< files/<name> inside the trash
    std::string infoPath;    ///< info/<name>.trashinfo inside the trash
};

/// The home trash folder: $XDG_DATA_HOME/Trash, or ~/.local/share/Trash.
std::string homeTrashDir();

/// Moves a file, folder or link (never followed) given by its Linux path into the trash of its file system,
/// with a .trashinfo that lets the desktop restore it. Never copies: an item the trash cannot take by a
/// rename stays where it is.
TrashResult moveToTrash(const std::string& native);

/// Percent-encodes a path for the Path key of a .trashinfo ("/" kept).
std::string trashInfoEscape(const std::string& path);

} // namespace platform
