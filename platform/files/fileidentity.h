// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What tells one file apart from another, and whether it changed: its device, inode, size and
// modification time, as kept with its measures.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct stat;

namespace platform {

/// What tells one file apart, and whether it changed since it was measured.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modified = 0; ///< nanoseconds since the epoch
    /// The same file, unchanged: a file replaced, rewritten or touched is another.
    bool operator==(const FileIdentity& o) const
    {
        return device == o.device && inode == o.inode && size == o.size && modified == o.modified;
    }
    bool operator!=(const FileIdentity& o) const { return !(*this == o); }
};

/// The identity of the regular file a drive-letter path names (links followed); nothing for a
/// missing file, a folder, a pipe or a device.
std::optional<FileIdentity> fileIdentity(const std::string& drivePath);
/// The identity of the entry FindFirstFile or FindNextFile last gave on this thread, from the look at
/// it they took; nothing when that entry is no regular file. A folder just listed is then identified
/// without looking at each file again.
std::optional<FileIdentity> lastFoundIdentity();
/// fileIdentity of each name in one folder (drive-letter path), the folder found once: the names as
/// the folder spells them are looked up directly, any other by fileIdentity.
std::vector<std::optional<FileIdentity>> fileIdentitiesIn(const std::string& folder,
                                                          const std::vector<std::string>& names);

/// The identity of the entry a Linux path names, a symbolic link itself rather than what it points to;
/// nothing where there is none. For the program's own files outside the drives, such as its caches.
std::optional<FileIdentity> entryIdentity(const std::string& nativePath);

/// The identity a look at a regular file found.
FileIdentity identityOf(const struct stat& st);

} // namespace platform
