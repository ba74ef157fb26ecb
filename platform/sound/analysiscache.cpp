// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/analysiscache.h"


#include <QDir>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <sqlite3.h>

namespace platform {

namespace {

// Marks the file as this program's database ("Tonf"); any other application id is someone else's.
constexpr int kApplicationId = 0x546f6e66;
constexpr int kSchemaVersion = 1;
// Another running copy may hold the write lock for a batch; waiting this long is better than losing it.
constexpr int kBusyWaitMs = 3000;
// Files whose inodes lie at most this far apart are read by one query; the entries of other files in
// between cost less than another query.
constexpr sqlite3_uint64 kInodeGap = 64;

const char* const kSchema = "CREATE TABLE IF NOT EXISTS measures("
                            " device INTEGER NOT NULL, inode INTEGER NOT NULL,"
                            " size INTEGER NOT NULL, modified INTEGER NOT NULL,"
                            " loudness REAL, peak REAL, tempo REAL, pitch REAL,"
                            " stored INTEGER NOT NULL,"
                            " PRIMARY KEY(device, inode)) WITHOUT ROWID;"
                            "CREATE INDEX IF NOT EXISTS measures_by_age ON measures(stored);";

const char* const kFindSql = "SELECT inode, size, modified, loudness, peak, tempo, pitch FROM measures"
                            " WHERE device=?1 AND inode BETWEEN ?2 AND ?3";
const char* const kStoreSql = "INSERT OR REPLACE INTO measures(device, inode, size, modified, loudness, peak,"
                             " tempo, pitch, stored) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)";

bool isDamage(int code)
{
    code &= 0xFF;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB || code == SQLITE_FORMAT;
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return rc_ == SQLITE_OK && stmt_; }
    int prepareCode() const { return rc_; }
    sqlite3_stmt* get() const { return stmt_; }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_ERROR;
};

/// A measure as stored: NaN (no such measure) as NULL, infinities as they are.
void bindMeasure(sqlite3_stmt* s, int column, double v)
{
    if (std::isnan(v))
        sqlite3_bind_null(s, column);
    else
        sqlite3_bind_double(s, column, v);
}

double columnMeasure(sqlite3_stmt* s, int column)
{
    return sqlite3_column_type(s, column) == SQLITE_NULL ? std::nan("") : sqlite3_column_double(s, column);
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
    QDir().mkpath(QString::fromStdString(file_.substr(0, file_.rfind('/'))));
    if (!open())
        rebuild();
}

AnalysisCache::~AnalysisCache()
{
    close();
}

void AnalysisCache::close()
{
    if (db_)
        sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool AnalysisCache::open()
{
    close();
    if (sqlite3_open_v2(file_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        close();
        return false;
    }
    sqlite3_busy_timeout(db_, kBusyWaitMs);
    // The first read of the file tells a database from anything else.
    int appId = -1, version = -1, tables = -1;
    {
        Statement s(db_, "PRAGMA application_id");
        if (!s.ok() || sqlite3_step(s.get()) != SQLITE_ROW) {
            close();
            return false;
        }
        appId = sqlite3_column_int(s.get(), 0);
    }
    {
        Statement s(db_, "SELECT count(*) FROM sqlite_schema");
        if (!s.ok() || sqlite3_step(s.get()) != SQLITE_ROW) {
            close();
            return false;
        }
        tables = sqlite3_column_int(s.get(), 0);
    }
    {
        Statement s(db_, "PRAGMA user_version");
        if (s.ok() && sqlite3_step(s.get()) == SQLITE_ROW)
            version = sqlite3_column_int(s.get(), 0);
    }
    const bool fresh = appId == 0 && tables == 0;
    if (!fresh && (appId != kApplicationId || version != kSchemaVersion)) {
        close();
        return false;
    }
    if (!fresh) {
        Statement check(db_, "PRAGMA quick_check");
        const unsigned char* verdict = nullptr;
        if (!check.ok() || sqlite3_step(check.get()) != SQLITE_ROW ||
            !(verdict = sqlite3_column_text(check.get(), 0)) || std::strcmp(reinterpret_cast<const char*>(verdict), "ok") != 0) {
            close();
            return false;
        }
    }
    // Several copies of the program read while one writes.
    sqlite3_exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    if (fresh) {
        const std::string setup = std::string("BEGIN;") + kSchema + "PRAGMA application_id=" +
                                  std::to_string(kApplicationId) + "; PRAGMA user_version=" +
                                  std::to_string(kSchemaVersion) + "; COMMIT;";
        if (sqlite3_exec(db_, setup.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            // Another copy may have made it at the same moment; its file is good.
            Statement s(db_, "PRAGMA application_id");
            const bool made = s.ok() && sqlite3_step(s.get()) == SQLITE_ROW && sqlite3_column_int(s.get(), 0) == kApplicationId;
            if (!made) {
                close();
                return false;
            }
        }
    }
    // A file of ours whose table lost or changed its columns would keep nothing: it is made anew.
    for (const char* sql : {kFindSql, kStoreSql}) {
        Statement s(db_, sql);
        if (!s.ok()) {
            close();
            return false;
        }
    }
    return true;
}

void AnalysisCache::rebuild()
{
    close();
    const std::string aside = file_ + ".damaged";
    std::remove(aside.c_str());
    std::rename(file_.c_str(), aside.c_str());
    for (const char* suffix : {"-wal", "-shm"})
        std::remove((file_ + suffix).c_str());
    if (open())
        notice_ = "The analysis cache " + file_ + " was damaged; it was set aside and started anew";
    else
        notice_ = "The analysis cache " + file_ + " cannot be used; measures are not kept";
}

std::vector<std::optional<SoundMeasures>> AnalysisCache::find(const std::vector<FileIdentity>& files)
{
    std::vector<std::optional<SoundMeasures>> out(files.size());
    if (!db_ || files.empty())
        return out;
    // The files of a folder mostly have neighbouring inodes: they are read as runs of the table's order,
    // one query a run, rather than one query a file.
    auto key = [&](size_t i) {
        return std::make_pair(sqlite3_int64(files[i].device), sqlite3_int64(files[i].inode));
    };
    std::vector<size_t> order(files.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return key(a) < key(b); });
    int rc = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    {
        Statement s(db_, kFindSql);
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
                    if (sqlite3_column_int64(s.get(), 1) != f.size || sqlite3_column_int64(s.get(), 2) != f.modified)
                        continue;
                    SoundMeasures m;
                    m.loudness = columnMeasure(s.get(), 3);
                    m.peak = columnMeasure(s.get(), 4);
                    m.tempo = columnMeasure(s.get(), 5);
                    m.pitch = columnMeasure(s.get(), 6);
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
    if (isDamage(rc)) {
        rebuild();
        return std::vector<std::optional<SoundMeasures>>(files.size());
    }
    return out;
}

void AnalysisCache::store(const std::vector<std::pair<FileIdentity, SoundMeasures>>& entries)
{
    if (!db_ || entries.empty())
        return;
    int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        Statement s(db_, kStoreSql);
        rc = s.ok() ? SQLITE_OK : s.prepareCode();
        const std::int64_t now = nowMs();
        for (size_t i = 0; rc == SQLITE_OK && i < entries.size(); ++i) {
            const auto& [id, m] = entries[i];
            sqlite3_bind_int64(s.get(), 1, sqlite3_int64(id.device));
            sqlite3_bind_int64(s.get(), 2, sqlite3_int64(id.inode));
            sqlite3_bind_int64(s.get(), 3, id.size);
            sqlite3_bind_int64(s.get(), 4, id.modified);
            bindMeasure(s.get(), 5, m.loudness);
            bindMeasure(s.get(), 6, m.peak);
            bindMeasure(s.get(), 7, m.tempo);
            bindMeasure(s.get(), 8, m.pitch);
            sqlite3_bind_int64(s.get(), 9, now);
            const int step = sqlite3_step(s.get());
            if (step != SQLITE_DONE)
                rc = step;
            sqlite3_reset(s.get());
        }
    }
    if (rc == SQLITE_OK) {
        // The oldest entries beyond the limit go.
        Statement trim(db_, "DELETE FROM measures WHERE (device, inode) IN (SELECT device, inode FROM measures"
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
    if (isDamage(rc))
        rebuild();
}

std::int64_t AnalysisCache::entryCount()
{
    if (!db_)
        return 0;
    Statement s(db_, "SELECT count(*) FROM measures");
    return s.ok() && sqlite3_step(s.get()) == SQLITE_ROW ? sqlite3_column_int64(s.get(), 0) : 0;
}

} // namespace platform
