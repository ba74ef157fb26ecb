// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/analysiscache.h"
#include "library/logging.h"
#include "platform/database/sqlitefile.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <sqlite3.h>

namespace library {

namespace {

// Marks the file as this program's database ("Tonf"); any other application id is someone else's.
constexpr int kApplicationId = 0x546f6e66;
// 2: the key and whether the loudness is that of the whole sound; the tempo and the loudness of short
// sounds are measured otherwise than in 1, whose entries are therefore dropped rather than kept.
// 3: the features of how the sound sounds; entries of 2 have none and are measured again.
constexpr int kSchemaVersion = 3;
// Another running copy may hold the write lock for a batch; waiting this long is better than losing it.
constexpr int kBusyWaitMs = 3000;
// A write that failed (lock held longer, disk full) is tried again with a batch at least this much later.
constexpr auto kRetryInterval = std::chrono::seconds(10);
// Files whose inodes lie at most this far apart are read by one query; the entries of other files in
// between cost less than another query.
constexpr sqlite3_uint64 kInodeGap = 64;

const char* const kSchema = "CREATE TABLE IF NOT EXISTS measures("
                            " device INTEGER NOT NULL, inode INTEGER NOT NULL,"
                            " size INTEGER NOT NULL, modified INTEGER NOT NULL,"
                            " loudness REAL, peak REAL, tempo REAL, pitch REAL,"
                            " key INTEGER, whole_sound INTEGER NOT NULL DEFAULT 0, features BLOB,"
                            " stored INTEGER NOT NULL,"
                            " PRIMARY KEY(device, inode)) WITHOUT ROWID;"
                            "CREATE INDEX IF NOT EXISTS measures_by_age ON measures(stored);";

const char* const kFindSql = "SELECT inode, size, modified, loudness, peak, tempo, pitch, key, whole_sound, features"
                             " FROM measures"
                             " WHERE device=?1 AND inode BETWEEN ?2 AND ?3";
const char* const kStoreSql =
    "INSERT OR REPLACE INTO measures(device, inode, size, modified, loudness, peak,"
    " tempo, pitch, key, whole_sound, stored, features) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)";
// Makes a file of an earlier schema this one's: its measures are dropped, to be measured anew.
const char* const kUpgrade = "DROP TABLE IF EXISTS measures;";

using platform::columnReal;
using platform::DatabaseFile;
using platform::SqlStatement;

/// A key as stored: its tonic, plus 12 for minor; NULL for none. Anything else reads as no key.
std::optional<library::MusicalKey> keyOf(sqlite3_stmt* s, int column)
{
    if (sqlite3_column_type(s, column) != SQLITE_INTEGER)
        return std::nullopt;
    const sqlite3_int64 v = sqlite3_column_int64(s, column);
    if (v < 0 || v >= 24)
        return std::nullopt;
    return library::MusicalKey{int(v % 12), v >= 12};
}

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
    : file_(file.empty() ? defaultFile() : std::move(file)), maxEntries_(maxEntries)
{
    // The folder may be a link (a cache on another disk); only the file itself must not be one.
    const std::string folder = file_.substr(0, file_.rfind('/'));
    QDir().mkpath(QString::fromStdString(folder));
    const QString real = QFileInfo(QString::fromStdString(folder)).canonicalFilePath();
    if (!real.isEmpty())
        file_ = real.toStdString() + file_.substr(folder.size());
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
    if (db_)
        sqlite3_close_v2(db_);
    db_ = nullptr;
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
    close();
    // A link is never followed: it could make the cache of some other file, anywhere.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
    const int rc = sqlite3_open_v2(file_.c_str(), &db_, flags, nullptr);
    const int code = db_ ? sqlite3_extended_errcode(db_) : rc;
    seen_ = platform::entryIdentity(file_);
    if (rc != SQLITE_OK) {
        close();
        return code == SQLITE_CANTOPEN_SYMLINK || DatabaseFile::isDamage(code) ? Opening::SetAside
                                                                               : Opening::Unavailable;
    }
    sqlite3_busy_timeout(db_, kBusyWaitMs);
    // An empty file holds nobody's data: it is made in WAL mode at once, which spares the syncs of a
    // rollback journal.
    if (seen_ && seen_->size == 0)
        sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    const Opening verdict = checkAndCreate();
    if (verdict != Opening::Usable) {
        close();
        return verdict;
    }
    // Several copies of the program read while one writes.
    sqlite3_exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    return Opening::Usable;
}

AnalysisCache::Opening AnalysisCache::checkAndCreate()
{
    // Only what the file holds sets it aside; a failure to read or write it now (disk full, no
    // permission, a lock) leaves it for another time.
    auto verdictOf = [](int rc) { return DatabaseFile::isDamage(rc) ? Opening::SetAside : Opening::Unavailable; };
    auto pragma = [this](const char* sql, int& value) {
        SqlStatement s(db_, sql);
        if (!s.ok())
            return s.prepareCode();
        const int step = sqlite3_step(s.get());
        if (step != SQLITE_ROW)
            return step;
        value = sqlite3_column_int(s.get(), 0);
        return SQLITE_OK;
    };
    // The look and the making are one transaction under the write lock: another copy making the file
    // at the same moment has either finished or waits, so its new file is never taken for a broken one.
    const bool readOnly = sqlite3_db_readonly(db_, "main") == 1;
    int rc = sqlite3_exec(db_, readOnly ? "BEGIN" : "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return verdictOf(rc);
    int appId = -1, tables = -1, version = -1;
    rc = pragma("PRAGMA application_id", appId);
    if (rc == SQLITE_OK)
        rc = pragma("SELECT count(*) FROM sqlite_schema", tables);
    if (rc == SQLITE_OK)
        rc = pragma("PRAGMA user_version", version);
    const bool fresh = appId == 0 && tables == 0;
    const bool older = appId == kApplicationId && version >= 1 && version < kSchemaVersion;
    if (rc == SQLITE_OK && older && !readOnly) {
        const std::string upgrade =
            std::string(kUpgrade) + kSchema + "PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
        rc = sqlite3_exec(db_, upgrade.c_str(), nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            version = kSchemaVersion;
    }
    if (rc == SQLITE_OK && fresh && !readOnly) {
        const std::string setup = std::string(kSchema) + "PRAGMA application_id=" + std::to_string(kApplicationId) +
                                  "; PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
        rc = sqlite3_exec(db_, setup.c_str(), nullptr, nullptr, nullptr);
    }
    if (rc == SQLITE_OK && (fresh ? readOnly : (appId != kApplicationId || version != kSchemaVersion))) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return fresh ? Opening::Unavailable : Opening::SetAside;
    }
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return verdictOf(rc);
    }
    return checkContents(!fresh);
}

AnalysisCache::Opening AnalysisCache::checkContents(bool checkPages)
{
    auto verdictOf = [](int rc) { return DatabaseFile::isDamage(rc) ? Opening::SetAside : Opening::Unavailable; };
    if (checkPages) {
        SqlStatement check(db_, "PRAGMA quick_check");
        if (!check.ok())
            return verdictOf(check.prepareCode());
        const int step = sqlite3_step(check.get());
        if (step != SQLITE_ROW)
            return verdictOf(step);
        const unsigned char* verdict = sqlite3_column_text(check.get(), 0);
        if (!verdict || std::strcmp(reinterpret_cast<const char*>(verdict), "ok") != 0)
            return Opening::SetAside;
    }
    // A file of ours whose table lost or changed its columns would keep nothing: it is made anew.
    for (const char* sql : {kFindSql, kStoreSql}) {
        SqlStatement s(db_, sql);
        if (!s.ok())
            return (s.prepareCode() & 0xFF) == SQLITE_ERROR ? Opening::SetAside : verdictOf(s.prepareCode());
    }
    return Opening::Usable;
}

bool AnalysisCache::setAside()
{
    close();
    const std::optional<platform::FileIdentity> now = platform::entryIdentity(file_);
    if (!now || !seen_ || now->device != seen_->device || now->inode != seen_->inode)
        return false;
    // The journal files go along with it: what they hold belongs to that file, and a journal left
    // behind would be played back into the new one.
    const std::string aside = file_ + ".damaged";
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        std::remove((aside + suffix).c_str());
        std::rename((file_ + suffix).c_str(), (aside + suffix).c_str());
    }
    return true;
}

void AnalysisCache::rebuild()
{
    const bool movedAway = setAside();
    const Opening again = open();
    if (again == Opening::Usable && movedAway)
        tell("The analysis cache " + file_ + " was damaged or not Tonfolio's; it was set aside and started anew");
    else if (again != Opening::Usable) {
        toldUnwritten_ = true;
        tell("The analysis cache " + file_ + " cannot be used; measures are kept until Tonfolio closes");
    }
}

std::vector<std::optional<SoundAnalysis>> AnalysisCache::find(const std::vector<platform::FileIdentity>& files)
{
    std::vector<std::optional<SoundAnalysis>> out(files.size());
    if (files.empty())
        return out;
    if (db_)
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

void AnalysisCache::findStored(const std::vector<platform::FileIdentity>& files, std::vector<std::optional<SoundAnalysis>>& out)
{
    auto key = [&](size_t i) {
        return std::make_pair(sqlite3_int64(files[i].device), sqlite3_int64(files[i].inode));
    };
    // The files of a folder mostly have neighbouring inodes: they are read as runs of the table's order,
    // one query a run, rather than one query a file.
    std::vector<size_t> order(files.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return key(a) < key(b); });
    int rc = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    {
        SqlStatement s(db_, kFindSql);
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
                    const platform::FileIdentity& f = files[order[k]];
                    if (sqlite3_column_int64(s.get(), 1) != f.size ||
                        sqlite3_column_int64(s.get(), 2) != f.modified)
                        continue;
                    SoundAnalysis m;
                    m.loudness = columnReal(s.get(), 3);
                    m.peak = columnReal(s.get(), 4);
                    m.tempo = columnReal(s.get(), 5);
                    m.pitch = columnReal(s.get(), 6);
                    m.key = keyOf(s.get(), 7);
                    m.wholeSoundLoudness = sqlite3_column_int(s.get(), 8) != 0;
                    m.features = featuresFromBytes(sqlite3_column_blob(s.get(), 9),
                                                   std::size_t(sqlite3_column_bytes(s.get(), 9)));
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
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (DatabaseFile::isDamage(rc)) {
        rebuild();
        std::fill(out.begin(), out.end(), std::nullopt);
    }
}

void AnalysisCache::store(const std::vector<std::pair<platform::FileIdentity, SoundAnalysis>>& entries)
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
    if (!db_ && open() == Opening::SetAside)
        rebuild();
    int rc = db_ ? write() : SQLITE_CANTOPEN;
    if (DatabaseFile::isDamage(rc)) {
        rebuild();
        rc = db_ ? write() : SQLITE_CANTOPEN;
    }
    if (rc == SQLITE_OK) {
        unsaved_.clear();
        return true;
    }
    retryAt_ = std::chrono::steady_clock::now() + kRetryInterval;
    qCDebug(lcLibrary) << "the analysis cache was not written, tried again later:" << sqlite3_errstr(rc);
    if (!DatabaseFile::isBusy(rc) && !toldUnwritten_) {
        toldUnwritten_ = true;
        tell("The analysis cache " + file_ + " cannot be written (" + sqlite3_errstr(rc) +
             "); measures are kept until Tonfolio closes");
    }
    return false;
}

int AnalysisCache::write()
{
    int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        SqlStatement s(db_, kStoreSql);
        rc = s.ok() ? SQLITE_OK : s.prepareCode();
        const std::int64_t now = nowMs();
        for (auto it = unsaved_.begin(); rc == SQLITE_OK && it != unsaved_.end(); ++it) {
            const auto& [id, m] = it->second;
            sqlite3_bind_int64(s.get(), 1, sqlite3_int64(id.device));
            sqlite3_bind_int64(s.get(), 2, sqlite3_int64(id.inode));
            sqlite3_bind_int64(s.get(), 3, id.size);
            sqlite3_bind_int64(s.get(), 4, id.modified);
            platform::bindReal(s.get(), 5, m.loudness);
            platform::bindReal(s.get(), 6, m.peak);
            platform::bindReal(s.get(), 7, m.tempo);
            platform::bindReal(s.get(), 8, m.pitch);
            if (m.key)
                sqlite3_bind_int(s.get(), 9, m.key->tonic + (m.key->minor ? 12 : 0));
            else
                sqlite3_bind_null(s.get(), 9);
            sqlite3_bind_int(s.get(), 10, m.wholeSoundLoudness ? 1 : 0);
            sqlite3_bind_int64(s.get(), 11, now);
            if (m.features)
                platform::bindBytes(s.get(), 12, featureBytes(*m.features));
            else
                sqlite3_bind_null(s.get(), 12);
            const int step = sqlite3_step(s.get());
            if (step != SQLITE_DONE)
                rc = step;
            sqlite3_reset(s.get());
        }
    }
    if (rc == SQLITE_OK) {
        // The oldest entries beyond the limit go.
        SqlStatement trim(db_, "DELETE FROM measures WHERE (device, inode) IN (SELECT device, inode FROM measures"
                            " ORDER BY stored LIMIT max(0, (SELECT count(*) FROM measures) - ?1))");
        if (trim.ok()) {
            sqlite3_bind_int64(trim.get(), 1, maxEntries_);
            const int step = sqlite3_step(trim.get());
            if (step != SQLITE_DONE)
                rc = step;
        }
    }
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return rc;
}

std::int64_t AnalysisCache::entryCount()
{
    if (!db_)
        return 0;
    SqlStatement s(db_, "SELECT count(*) FROM measures");
    return s.ok() && sqlite3_step(s.get()) == SQLITE_ROW ? sqlite3_column_int64(s.get(), 0) : 0;
}

} // namespace library
