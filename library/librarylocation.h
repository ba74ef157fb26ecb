// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the library is: the user's SQLite file, or a shared PostgreSQL server named by a URL (on the
// command line, in TONFOLIO_LIBRARY_URL, or in the library's settings). Every part of the program opens
// its store through openLibraryStore, so all of them use the same one.

#include "library/librarystore.h"

#include <map>
#include <memory>
#include <string>

namespace library {

struct LibraryLocation {
    std::string url;  ///< postgresql://...; empty for the SQLite file
    std::string file; ///< the SQLite file; empty for the user's
    /// For a shared library: root name -> where this machine mounts it.
    std::map<std::string, std::string> rootPaths;
    std::string user; ///< who stars and tags; empty for the server's role name
    bool isShared() const { return !url.empty(); }
};

/// The URL given on the command line (--library-url) wins over the environment and the settings.
void setCommandLineLibraryUrl(const std::string& url);
/// Where the library is, as the command line, TONFOLIO_LIBRARY_URL and the settings say.
LibraryLocation libraryLocation();
/// The SQLite file given (tests, benchmarks), or where libraryLocation() says when none is.
LibraryLocation locationOf(const std::string& databaseFile);
std::unique_ptr<LibraryStore> openLibraryStore(const LibraryLocation& where);
std::unique_ptr<LibraryStore> openLibraryStore();

/// The library's own settings file: $XDG_CONFIG_HOME/tonfolio/library.ini.
std::string librarySettingsFile();
/// Keeps a shared library's URL in the settings (empty: back to the SQLite file). A password in it is
/// never stored: returns true when one was left out (libpq reads it from ~/.pgpass).
bool rememberLibraryUrl(const std::string& url);
/// Keeps where this machine mounts a root of the shared library (empty path: where it was added).
void rememberRootPath(const std::string& name, const std::string& path);

} // namespace library
