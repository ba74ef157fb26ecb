// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Walking a library folder: its subfolders and wave files with what tells each file apart, read by the
// folder's Linux path (the library keeps its folders as such, so that one index serves machines that
// mount a share at different places). Links to folders are reported, never followed, so no walk can go
// round in circles; only regular files are looked at, so nothing blocks on a pipe or a device.

#include "platform/files/fileidentity.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct TreeEntry {
    std::string name;
    enum class Kind { File, Folder, LinkedFolder } kind = Kind::File;
    FileIdentity identity; ///< of a file (links to files followed), when identified
    /// False for a regular file whose identity the caller did not ask for: openListedFile gives it.
    bool identified = true;
};

/// What a folder's own entry says.
struct FolderStamp {
    int error = 0;             ///< errno when the folder cannot be reached; 0 otherwise
    std::int64_t modified = 0; ///< ns since the epoch
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    /// Changed within the last moment: a listing now may miss a change made in the same clock tick.
    bool recent = false;
};

struct TreeListing {
    FolderStamp stamp; ///< taken before the listing
    std::vector<TreeEntry> entries;
};

/// The stamp of a folder (a link in its place is not followed: error ELOOP... ENOTDIR).
FolderStamp folderStamp(const std::string& native);
/// The subfolders, links to folders and the regular files whose names end in `suffix` (ignoring ASCII
/// case) of a folder. Names holding a backslash are left out: no drive-letter path can name them.
/// `identityWanted` (when given) tells of each regular file's name whether to look at the file now; one
/// not looked at is left for openListedFile, which has the look at it for free.
TreeListing listTreeFolder(const std::string& native, const std::string& suffix = ".wav",
                           const std::function<bool(const std::string& name)>& identityWanted = {});
/// Opens for reading a file listTreeFolder has just listed as a regular file, by its Linux path, without
/// looking at it first: a link or anything but a regular file put in its place since is refused, and
/// nothing blocks. -1 (errno set) when it cannot be read; `identity` is that of the file opened, or of
/// the regular file still there that could not be opened, else empty.
int openListedFile(const std::string& native, std::optional<FileIdentity>& identity);
/// The path with every link and "." or ".." resolved; empty with error set (ELOOP for a loop of links,
/// ENOENT, EACCES, ENOTDIR) when it does not lead to a folder.
std::string realFolderPath(const std::string& native, int& error);
/// The real Linux path of a folder named on the command line (a Linux path, a drive path such as
/// C:\SOUNDS, or a file:// URL); empty with error set when no drive holds it (ENODEV) or it leads to
/// no folder (as realFolderPath).
std::string folderOfArgument(const std::string& argument, int& error);
/// The folder of the drive that holds a path ("/" for the system's), from the drive table; empty when
/// no drive holds it.
std::string driveFolderOf(const std::string& native);
/// Whether a drive with that folder is in the drive table now.
bool isDriveFolder(const std::string& folder);
/// Whether the folder lies on a network file system, from which no change events come.
bool isNetworkFolder(const std::string& native);
/// The text of an errno for a status line.
std::string errorText(int error);

} // namespace platform
