// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The library from the command line, without a display: adding folders, indexing (a machine next to
// the files can keep the index) and finding files with the filter box's query language.

#include <QString>
#include <cstdio>
#include <string>
#include <vector>

namespace library {

struct IndexRequest {
    std::vector<std::string> folders; ///< as given; empty for every library folder
    bool measure = true;
    bool fullCheck = false;
};

/// Adds folders to the library; 0 when each was added or was there, 1 otherwise.
int addLibraryCommand(const std::vector<std::string>& folders, std::FILE* out, std::FILE* err);
/// Indexes, with progress on err and a summary at the end; 0 when every library folder indexed was
/// read whole, 1 when one could not be (offline, unreadable, waiting for confirmation) or the library
/// cannot be used. Needs a QCoreApplication; runs its event loop.
int indexCommand(const IndexRequest& request, std::FILE* err);
/// Prints the matching files' paths one a line, or with json a JSON record a line; 0 unless the library
/// cannot be read.
int findCommand(const QString& query, bool json, std::FILE* out, std::FILE* err);

} // namespace library
