// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/analysiscache.h"

#include "platform/database/sqlitefile.h"

#include <QDir>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <numeric>
#include <sqlite3.h>

namespace platform {

namespace {

// Marks the file as this program's database ("Tonf"); any other application id is someone else's.
constexpr int kApplicationId = 0x546f6e66;
// A write that failed (lock held longer, disk full) is tried again with a batch at least this much later.
constexpr auto kRetryInterval = std::chrono::seconds(10);
// Files whose inodes lie at most this far apart are read by one query; the entries of other files in
// between cost less than another query.
constexpr sqlite3_uint64 kInodeGap = 64;

const char* const kSchema = "CREATE TABLE measures("
                            " device INTEGER NOT NULL, inode INTEGER NOT NULL,"
                            " size INTEGER NOT NULL, modified INTEGER NOT NULL,"
                            " loudness REAL, peak REAL, tempo REAL, pitch REAL,"
                            " stored INTEGER NOT NULL,"
                            " PRIMARY KEY(device, inode)) WITHOUT ROWID;"
                            "CREATE INDEX measures_by_age ON measures(stored);";

const char* const kFindSql = "SELECT inode, size, modified, loudness, peak, tempo, pitch FROM measures"
                            " WHERE device=?1 AND inode BETWEEN ?2 AND ?3";
const char* const kStoreSql = "INSERT OR REPLACE INTO measures(device, inode, size, modified, loudness, peak,"
                             " tempo, pitch, stored) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)";

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

std::string AnalysisCache::defaultFile()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + "/.cache";
    return (base + "/tonfolio/analysis.sqlite").toStdString();
}

AnalysisCache::AnalysisCache(std::string file, std::int64_t maxEntries)
    : file_(DatabaseFile::placeFile(file.empty() ? defaultFile() : std::move(file))), maxEntries_(maxEntries),
      database_(file_, schema())
{
    switch (open()) {
    case Opening::Usable:
        break;
    case Opening::SetAside:
        rebuild();
        break;
    case Opening::Unavailable:
        toldUnwritten_ = true;
        tell("The analysis cache " + file_ + " cannot be used now; measures are kept until Tonfolio closes");
        break;
    }
}

AnalysisCache::~AnalysisCache()
{
    flush();
    close();
}

void AnalysisCache::close()
{
    database_.close();
}

DatabaseSchema AnalysisCache::schema()
{
    DatabaseSchema s;
    s.applicationId = kApplicationId;
    s.migrations = {kSchema};
    s.probes = {kFindSql, kStoreSql};
    // A cache of another version is made anew: it holds nothing a user made.
    s.replaceOtherVersions = true;
    return s;
}

void AnalysisCache::tell(std::string text)
{
    notice_ = text;
    untold_ = std::move(text);
}

std::string AnalysisCache::takeNotice()
{
    return std::exchange(untold_, std::string());
}

AnalysisCache::Opening AnalysisCache::open()
{
    switch (database_.open()) {
    case DatabaseFile::Opening::Usable:
        return Opening::Usable;
    case DatabaseFile::Opening::SetAside:
    case DatabaseFile::Opening::Newer: // a cache of another version holds nothing worth keeping
        return Opening::SetAside;
    case DatabaseFile::Opening::Unavailable:
        break;
    }
    return Opening::Unavailable;
}

void AnalysisCache::rebuild()
{
    const bool movedAway = database_.setAside();
    const Opening again = open();
    if (again == Opening::Usable && movedAway)
        tell("The analysis cache " + file_ + " was damaged or not Tonfolio's; it was set aside and started anew");
    else if (again != Opening::Usable) {
        toldUnwritten_ = true;
        tell("The analysis cache " + file_ + " cannot be used; measures are kept until Tonfolio closes");
    }
}

std::vector<std::optional<SoundMeasures>> AnalysisCache::find(const std::vector<FileIdentity>& files)
{
    std::vector<std::optional<SoundMeasures>> out(files.size());
    if (files.empty())
        return out;
    if (db())
        findStored(files, out);
    // Measures not written yet are found as well, and are newer than any stored.
    for (size_t i = 0; i < files.size() && !unsaved_.empty(); ++i) {
        const auto kept = unsaved_.find(Key(files[i].device, files[i].inode));
        if (kept != unsaved_.end() && kept->second.first.size == files[i].size &&
            kept->second.first.modified == files[i].modified)
            out[i] = kept->second.second;
    }
    return out;
}

void AnalysisCache::findStored(const std::vector<FileIdentity>& files, std::vector<std::optional<SoundMeasures>>& out)
{
    auto key = [&](size_t i) {
        return std::make_pair(sqlite3_int64(files[i].device), sqlite3_int64(files[i].inode));
    };
    // The files of a folder mostly have neighbouring inodes: they are read as runs of the table's order,
    // one query a run, rather than one query a file.
    std::vector<size_t> order(files.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return key(a) < key(b); });
    int rc = DatabaseFile::exec(db(), "BEGIN");
    {
        SqlStatement s(db(), kFindSql);
        if (rc == SQLITE_OK && !s.ok())
            rc = s.prepareCode();
        for (size_t first = 0; rc == SQLITE_OK && first < order.size();) {
            size_t last = first;
            while (last + 1 < order.size() && key(order[last + 1]).first == key(order[first]).first &&
                   sqlite3_uint64(key(order[last + 1]).second) - sqlite3_uint64(key(order[last]).second) <= kInodeGap)
                ++last;
            sqlite3_bind_int64(s.get(), 1, key(order[first]).first);
            sqlite3_bind_int64(s.get(), 2, key(order[first]).second);
            sqlite3_bind_int64(s.get(), 3, key(order[last]).second);
            size_t at = first;
            int step;
            while ((step = sqlite3_step(s.get())) == SQLITE_ROW) {
                const sqlite3_int64 inode = sqlite3_column_int64(s.get(), 0);
                while (at <= last && key(order[at]).second < inode)
                    ++at;
                // The same file may be asked for twice.
                for (size_t k = at; k <= last && key(order[k]).second == inode; ++k) {
                    const FileIdentity& f = files[order[k]];
                    if (sqlite3_column_int64(s.get(), 1) != f.size ||
                        sqlite3_column_int64(s.get(), 2) != f.modified)
                        continue;
                    SoundMeasures m;
                    m.loudness = columnReal(s.get(), 3);
                    m.peak = columnReal(s.get(), 4);
                    m.tempo = columnReal(s.get(), 5);
                    m.pitch = columnReal(s.get(), 6);
                    // Measures an earlier version kept that this one would not give are measured again.
                    if (measuresAreValid(m))
                        out[order[k]] = m;
                }
            }
            if (step != SQLITE_DONE)
                rc = step;
            sqlite3_reset(s.get());
            first = last + 1;
        }
    }
    DatabaseFile::exec(db(), "COMMIT");
    if (DatabaseFile::isDamage(rc)) {
        rebuild();
        std::fill(out.begin(), out.end(), std::nullopt);
    }
}

void AnalysisCache::store(const std::vector<std::pair<FileIdentity, SoundMeasures>>& entries)
{
    for (const auto& [id, m] : entries)
        unsaved_[Key(id.device, id.inode)] = {id, m};
    if (std::chrono::steady_clock::now() >= retryAt_)
        flush();
}

bool AnalysisCache::flush()
{
    if (unsaved_.empty())
        return true;
    if (!db() && open() == Opening::SetAside)
        rebuild();
    int rc = db() ? write() : SQLITE_CANTOPEN;
    if (DatabaseFile::isDamage(rc)) {
        rebuild();
        rc = db() ? write() : SQLITE_CANTOPEN;
    }
    if (rc == SQLITE_OK) {
        unsaved_.clear();
        return true;
    }
    retryAt_ = std::chrono::steady_clock::now() + kRetryInterval;
    if (!DatabaseFile::isBusy(rc) && !toldUnwritten_) {
        toldUnwritten_ = true;
        tell("The analysis cache " + file_ + " cannot be written (" + sqlite3_errstr(rc) +
             "); measures are kept until Tonfolio closes");
    }
    return false;
}

int AnalysisCache::write()
{
    int rc = DatabaseFile::exec(db(), "BEGIN IMMEDIATE");
    if (rc == SQLITE_OK) {
        SqlStatement s(db(), kStoreSql);
        rc = s.ok() ? SQLITE_OK : s.prepareCode();
        const std::int64_t now = nowMs();
        for (auto it = unsaved_.begin(); rc == SQLITE_OK && it != unsaved_.end(); ++it) {
            const auto& [id, m] = it->second;
            sqlite3_bind_int64(s.get(), 1, sqlite3_int64(id.device));
            sqlite3_bind_int64(s.get(), 2, sqlite3_int64(id.inode));
            sqlite3_bind_int64(s.get(), 3, id.size);
            sqlite3_bind_int64(s.get(), 4, id.modified);
            bindReal(s.get(), 5, m.loudness);
            bindReal(s.get(), 6, m.peak);
            bindReal(s.get(), 7, m.tempo);
            bindReal(s.get(), 8, m.pitch);
            sqlite3_bind_int64(s.get(), 9, now);
            const int step = sqlite3_step(s.get());
            if (step != SQLITE_DONE)
                rc = step;
            sqlite3_reset(s.get());
        }
    }
    if (rc == SQLITE_OK) {
        // The oldest entries beyond the limit go.
        SqlStatement trim(db(), "DELETE FROM measures WHERE (device, inode) IN (SELECT device, inode FROM measures"
                            " ORDER BY stored LIMIT max(0, (SELECT count(*) FROM measures) - ?1))");
        if (trim.ok()) {
            sqlite3_bind_int64(trim.get(), 1, maxEntries_);
            const int step = sqlite3_step(trim.get());
            if (step != SQLITE_DONE)
                rc = step;
        }
    }
    if (rc == SQLITE_OK)
        rc = DatabaseFile::exec(db(), "COMMIT");
    if (rc != SQLITE_OK)
        DatabaseFile::exec(db(), "ROLLBACK");
    return rc;
}

std::int64_t AnalysisCache::entryCount()
{
    if (!db())
        return 0;
    SqlStatement s(db(), "SELECT count(*) FROM measures");
    return s.ok() && sqlite3_step(s.get()) == SQLITE_ROW ? sqlite3_column_int64(s.get(), 0) : 0;
}

} // namespace platform
