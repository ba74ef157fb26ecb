// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Measures of sound files kept between runs in an SQLite database under $XDG_CACHE_HOME/tonfolio/,
// keyed by the file's device and inode and valid while its size and modification time stay.

#include "library/soundanalysis.h"
#include "platform/files/fileidentity.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

namespace library {

class AnalysisCache {
public:
    /// Entries kept at most; the oldest stored go first.
    static constexpr std::int64_t kDefaultMaxEntries = 200000;

    /// Opens or creates the database file (native path; empty for the user's cache folder). A file that
    /// is not a database, is damaged, is another program's or is a symbolic link is set aside next to it
    /// (".damaged") and a new one made. A file that cannot be read or written now (a full disk, no
    /// permission, a lock held too long) is left as it is, and measures are kept in memory instead.
    /// notice() says what happened.
    explicit AnalysisCache(std::string file = {}, std::int64_t maxEntries = kDefaultMaxEntries);
    /// Writes what is still kept back, if it can.
    ~AnalysisCache();
    AnalysisCache(const AnalysisCache&) = delete;
    AnalysisCache& operator=(const AnalysisCache&) = delete;

    static std::string defaultFile();
    const std::string& file() const { return file_; }
    bool isOpen() const { return db_ != nullptr; }
    /// The last message for the user about the file, empty when nothing happened.
    const std::string& notice() const { return notice_; }
    /// A message not handed out before, for the caller to show once; empty when there is none.
    std::string takeNotice();

    /// The measures stored for each identity, in one read; nothing where the file is unknown or changed.
    std::vector<std::optional<SoundAnalysis>> find(const std::vector<platform::FileIdentity>& files);
    /// Stores measures in one transaction, then drops the oldest entries beyond the limit. Measures that
    /// cannot be written now (another program holds the write lock, the disk is full) are kept, found
    /// from memory, and written with a later batch.
    void store(const std::vector<std::pair<platform::FileIdentity, SoundAnalysis>>& entries);
    /// Writes the measures kept back, now; whether none are left.
    bool flush();
    std::int64_t entryCount();

private:
    enum class Opening { Usable, SetAside, Unavailable };
    using Key = std::pair<std::uint64_t, std::uint64_t>;

    Opening open();
    /// Looks at the opened file and makes the table in a fresh one, in one transaction.
    Opening checkAndCreate();
    /// Whether the table serves, and with checkPages whether every page reads as it should.
    Opening checkContents(bool checkPages);
    /// Moves the file looked at (with its journal files) to ".damaged", unless another file took its
    /// place meanwhile; whether it did.
    bool setAside();
    /// Sets the file aside and starts a new one.
    void rebuild();
    void findStored(const std::vector<platform::FileIdentity>& files, std::vector<std::optional<SoundAnalysis>>& out);
    /// Writes the measures kept back in one transaction; SQLite's result.
    int write();
    void close();
    void tell(std::string text);

    std::string file_;
    std::int64_t maxEntries_;
    sqlite3* db_ = nullptr;
    std::optional<platform::FileIdentity> seen_; ///< the file as opened, a link itself
    std::string notice_;
    std::string untold_;
    // Measures not written yet, and when to try again.
    std::map<Key, std::pair<platform::FileIdentity, SoundAnalysis>> unsaved_;
    std::chrono::steady_clock::time_point retryAt_{};
    bool toldUnwritten_ = false;
};

} // namespace library
