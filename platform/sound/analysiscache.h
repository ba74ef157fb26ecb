// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Measures of sound files kept between runs in an SQLite database under $XDG_CACHE_HOME/tonfolio/,
// keyed by the file's device and inode and valid while its size and modification time stay.

#include "platform/files/fileidentity.h"
#include "platform/sound/soundanalysis.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

namespace platform {

class AnalysisCache {
public:
    /// Entries kept at most; the oldest stored go first.
    static constexpr std::int64_t kDefaultMaxEntries = 200000;

    /// Opens or creates the database file (native path; empty for the user's cache folder). A file that
    /// is damaged or not this program's database is set aside next to it (".damaged") and a new one made;
    /// notice() then says so. Without a usable file the cache keeps nothing and finds nothing.
    explicit AnalysisCache(std::string file = {}, std::int64_t maxEntries = kDefaultMaxEntries);
    ~AnalysisCache();
    AnalysisCache(const AnalysisCache&) = delete;
    AnalysisCache& operator=(const AnalysisCache&) = delete;

    static std::string defaultFile();
    const std::string& file() const { return file_; }
    bool isOpen() const { return db_ != nullptr; }
    /// A message for the user about what happened to the file, empty when nothing did.
    const std::string& notice() const { return notice_; }

    /// The measures stored for each identity, in one read; nothing where the file is unknown or changed.
    std::vector<std::optional<SoundMeasures>> find(const std::vector<FileIdentity>& files);
    /// Stores measures in one transaction, then drops the oldest entries beyond the limit.
    void store(const std::vector<std::pair<FileIdentity, SoundMeasures>>& entries);
    std::int64_t entryCount();

private:
    bool open();
    /// Closes a file found damaged while in use, sets it aside and starts a new one.
    void rebuild();
    void close();

    std::string file_;
    std::int64_t maxEntries_;
    sqlite3* db_ = nullptr;
    std::string notice_;
};

} // namespace platform
