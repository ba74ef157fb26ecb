// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small files read or written whole, such as the lists a user exports and imports: only a regular
// file is read (a pipe or device named so reads as one that cannot be opened), and a file written
// takes its name only once it is complete, never in place of one that exists.

#include <cstddef>
#include <optional>
#include <string>

namespace platform {

/// The bytes of the regular file at a Linux path, at most `limit` of them; nothing with errno in error
/// (EFBIG: longer than the limit, EINVAL: no regular file).
std::optional<std::string> readWholeFile(const std::string& nativePath, std::size_t limit, int& error);

/// Writes a new file at a Linux path; false with errno in error (EEXIST: a file is there and is kept).
bool writeNewFile(const std::string& nativePath, const std::string& bytes, int& error);

} // namespace platform
