// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The library from the command line, without a display: adding folders, indexing (a machine next to
// the files can keep the index), finding files with the filter box's query language, and moving the
// favourites and tags to and from a file.

#include <QString>
#include <cstdio>
#include <string>
#include <vector>

namespace library {

struct IndexRequest {
    std::vector<std::string> folders; ///< as given; empty for every library folder
    bool measure = true;
    bool fullCheck = false;
    /// Keep watching the folders after the passes until stopped (an indexer next to a shared library's
    /// files).
    bool watch = false;
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
/// Keeps the shared library's URL in the library's settings (empty: the local library again), without
/// its password; 0 when the library can be used, 1 otherwise.
int useLibraryCommand(const std::string& url, std::FILE* out, std::FILE* err);
/// Keeps where this machine mounts a shared library's root: "NAME=PATH" (PATH empty: unmapped).
int mapRootCommand(const QString& mapping, std::FILE* out, std::FILE* err);
/// Prints the library's files that sound most like `file` (a path; it need not be in the library),
/// nearest first, each with its distance (0: the same sound) and path, or with json a JSON record a
/// line; 0 unless the file cannot be read as a sound or the library cannot be read.
int likeCommand(const std::string& file, bool json, std::FILE* out, std::FILE* err);
/// Writes every favourite and tagged file to a new CSV file (see tagscsv.h; "-" for out); 0 when it
/// was written, 1 when it could not be (a file already there is kept).
int exportTagsCommand(const std::string& file, std::FILE* out, std::FILE* err);
/// Takes favourites and tags from such a file, adding to what the library holds: each record's file is
/// found by its path, else by its identity. A record that cannot be read or whose file is not found is
/// reported with its line number and skipped; 0 when none was, 1 otherwise.
int importTagsCommand(const std::string& file, std::FILE* out, std::FILE* err);

} // namespace library
