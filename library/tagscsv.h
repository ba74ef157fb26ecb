// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The favourites and tags file of `--export-tags` and `--import-tags`: comma-separated values as RFC
// 4180 writes them (fields with commas, quotes or line breaks in double quotes, quotes doubled), one
// file a record: path, favourite (1 or 0), tags joined with ", ", and the file's identity
// (device:inode:size:modified) so that a file moved since is found again.

#include "library/librarystore.h"

#include <QString>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace library {

/// The first record of every file written.
extern const char* const kTagsCsvHeader;

/// One record of a file written: its fields quoted where needed, ended by CR LF.
std::string tagsCsvRecord(const MarkedFile& file);

/// A record read back, or why its line cannot be read.
struct TagsCsvLine {
    int line = 0; ///< the line it starts on, counted from 1
    std::optional<MarkedFile> file;
    QString problem; ///< when there is no file
};

/// Reads records one after another from a file's bytes; a record that cannot be read is skipped up to
/// the end of its line and reported.
class TagsCsvReader {
public:
    explicit TagsCsvReader(std::string_view text) : text_(text) {}
    /// The next record; false at the end. The header record is passed over.
    bool next(TagsCsvLine& out);

private:
    /// The fields of the record at pos_; false with the problem when it is malformed.
    bool fields(std::vector<std::string>& out, QString& problem);
    void skipLine();

    std::string_view text_;
    size_t pos_ = 0;
    int line_ = 1;
};

} // namespace library
