// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one way this program copies a file: into a temporary name of its own beside the target, checked,
// then given the target's name without replacing anything. A failed copy removes only its own
// temporary file; whatever stands at the target's name, whoever made it, stays.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct CopyRequest {
    bool replace = false; ///< the user agreed to replace what stands at the target
    bool verify = false;  ///< make the copy durable and read it back before it takes its name (moves)
    /// Told the bytes written since its last call; returning false cancels the copy.
    std::function<bool(long long)> progress;
};

struct CopyResult {
    enum Status {
        Copied,
        SourceFailed, ///< the source could not be opened or read (error holds errno)
        NotRegular,   ///< the source is no regular file
        WriteFailed,  ///< the temporary file could not be made or written (error holds errno)
        Mismatch,     ///< the copy did not read back the same
        Cancelled,    ///< progress returned false
        PlaceFailed,  ///< the finished copy could not take the target's name (error holds errno, EEXIST: taken)
    };
    Status status = Copied;
    int error = 0;
    bool ok() const { return status == Copied; }
};

/// Copies the regular file `from` (links followed) to `to`, keeping its permission bits and times.
CopyResult copyFileVerified(const std::string& from, const std::string& to, const CopyRequest& request = {});

/// One stretch of a file being rewritten: `bytes` of its own, or (offset >= 0) `length` bytes of the
/// original from `offset`.
struct FilePiece {
    std::string bytes;
    std::int64_t offset = -1;
    std::int64_t length = 0;
};

/// Writes a new version of the regular file `path`, made of the pieces, into a temporary file beside it,
/// with the original's permission bits; makes it durable, lets `check` read it back (by its path), and only
/// then puts it in the original's place in one step. On every failure the original stays as it was and
/// the temporary file is removed. A file that is read-only is refused (WriteFailed, EACCES); a file
/// that changed meanwhile too (Mismatch).
CopyResult rewriteFileVerified(const std::string& path, const std::vector<FilePiece>& pieces,
                               const std::function<bool(const std::string& temporary)>& check);

/// A hidden name of our own in `dir` for work under way; nothing exists under it yet.
std::string temporaryNameIn(const std::string& dir);

/// Gives the entry `temporary` the name `target`. Without replace, never takes the place of anything
/// that exists there (false, errno EEXIST), also where the file system lacks RENAME_NOREPLACE.
bool placeNew(const std::string& temporary, const std::string& target, bool replace = false);

} // namespace platform
