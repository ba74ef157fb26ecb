// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/database/sqlitefile.h"

#include <QDir>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits.h>
#include <mutex>
#include <set>
#include <sqlite3.h>
#include <tuple>

namespace platform {

SqlStatement::SqlStatement(sqlite3* db, const char* sql)
{
    rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
    if (rc_ != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

SqlStatement::~SqlStatement()
{
    sqlite3_finalize(stmt_);
}

SqlTransaction::SqlTransaction(sqlite3* db) : db_(db)
{
    rc_ = db ? sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) : SQLITE_MISUSE;
}

SqlTransaction::~SqlTransaction()
{
    if (rc_ == SQLITE_OK && !done_)
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

int SqlTransaction::commit()
{
    done_ = true;
    const int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return rc;
}

DatabaseFile::DatabaseFile(std::string file, DatabaseSchema schema) : file_(std::move(file)), schema_(std::move(schema))
{
}

DatabaseFile::~DatabaseFile()
{
    close();
}

std::string DatabaseFile::placeFile(std::string file)
{
    const std::string folder = file.substr(0, file.rfind('/'));
    QDir().mkpath(QString::fromStdString(folder));
    if (char* real = ::realpath(folder.c_str(), nullptr)) {
        file = real + file.substr(folder.size());
        std::free(real);
    }
    return file;
}

bool DatabaseFile::isDamage(int code)
{
    code &= 0xFF;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB || code == SQLITE_FORMAT;
}

bool DatabaseFile::isBusy(int code)
{
    code &= 0xFF;
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

int DatabaseFile::exec(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

int DatabaseFile::queryInt(sqlite3* db, const char* sql, std::int64_t& value)
{
    SqlStatement s(db, sql);
    if (!s.ok())
        return s.prepareCode();
    const int step = sqlite3_step(s.get());
    if (step != SQLITE_ROW)
        return step == SQLITE_DONE ? SQLITE_ERROR : step;
    value = sqlite3_column_int64(s.get(), 0);
    return SQLITE_OK;
}

void DatabaseFile::close()
{
    if (db_)
        sqlite3_close_v2(db_);
    db_ = nullptr;
}

DatabaseFile::Opening DatabaseFile::open()
{
    close();
    failure_ = SQLITE_OK;
    // A link is never followed: it could make the database of some other file, anywhere.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
    const int rc = sqlite3_open_v2(file_.c_str(), &db_, flags, nullptr);
    const int code = db_ ? sqlite3_extended_errcode(db_) : rc;
    seen_ = {};
    ::lstat(file_.c_str(), &seen_);
    if (rc != SQLITE_OK) {
        failure_ = code;
        close();
        return code == SQLITE_CANTOPEN_SYMLINK || isDamage(code) ? Opening::SetAside : Opening::Unavailable;
    }
    sqlite3_busy_timeout(db_, kBusyWaitMs);
    // An empty file holds nobody's data: it is made in WAL mode at once, which spares the syncs of a
    // rollback journal.
    if (S_ISREG(seen_.st_mode) && seen_.st_size == 0)
        exec(db_, "PRAGMA journal_mode=WAL");
    const Opening verdict = checkAndCreate();
    if (verdict != Opening::Usable) {
        close();
        return verdict;
    }
    // Several copies of the program read while one writes.
    exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL");
    return Opening::Usable;
}

DatabaseFile::Opening DatabaseFile::checkAndCreate()
{
    // Only what the file holds sets it aside; a failure to read or write it now (disk full, no
    // permission, a lock) leaves it for another time.
    auto verdictOf = [this](int rc) {
        failure_ = rc;
        return isDamage(rc) ? Opening::SetAside : Opening::Unavailable;
    };
    // The look and the making are one transaction under the write lock: another copy making the file
    // at the same moment has either finished or waits, so its new file is never taken for a broken one.
    const bool readOnly = sqlite3_db_readonly(db_, "main") == 1;
    int rc = exec(db_, readOnly ? "BEGIN" : "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK)
        return verdictOf(rc);
    std::int64_t appId = -1, tables = -1, version = -1;
    rc = queryInt(db_, "PRAGMA application_id", appId);
    if (rc == SQLITE_OK)
        rc = queryInt(db_, "SELECT count(*) FROM sqlite_schema", tables);
    if (rc == SQLITE_OK)
        rc = queryInt(db_, "PRAGMA user_version", version);
    const std::int64_t current = std::int64_t(schema_.migrations.size());
    const bool fresh = appId == 0 && tables == 0;
    Opening verdict = Opening::Usable;
    if (rc == SQLITE_OK) {
        if (fresh)
            version = 0;
        else if (appId != schema_.applicationId || version <= 0)
            verdict = Opening::SetAside;
        else if (version != current && schema_.replaceOtherVersions)
            verdict = Opening::SetAside;
        else if (version > current)
            verdict = Opening::Newer;
        if (verdict == Opening::Usable && version < current && readOnly)
            verdict = Opening::Unavailable;
    }
    // Upgrades run in the same transaction: a file is of one version or the next, never between.
    for (std::int64_t v = version; rc == SQLITE_OK && verdict == Opening::Usable && v < current; ++v)
        rc = exec(db_, schema_.migrations[size_t(v)].c_str());
    if (rc == SQLITE_OK && verdict == Opening::Usable && version < current) {
        const std::string ids = "PRAGMA application_id=" + std::to_string(schema_.applicationId) +
                                "; PRAGMA user_version=" + std::to_string(current);
        rc = exec(db_, ids.c_str());
    }
    if (rc == SQLITE_OK && verdict != Opening::Usable) {
        exec(db_, "ROLLBACK");
        return verdict;
    }
    if (rc == SQLITE_OK)
        rc = exec(db_, "COMMIT");
    if (rc != SQLITE_OK) {
        exec(db_, "ROLLBACK");
        return verdictOf(rc);
    }
    return checkContents(!fresh && seen_.st_size <= schema_.checkPagesUpTo);
}

namespace {

/// Files whose pages this process read whole, as they were then: another connection to one (another
/// thread's) need not read them again while the file is unchanged (in WAL mode writes go to the log
/// and reach the file only when it is folded in).
bool checkedBefore(const struct stat& st, bool record)
{
    using Key = std::tuple<dev_t, ino_t, off_t, time_t, long>;
    static std::mutex mutex;
    static std::set<Key> checked;
    const Key key{st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    std::lock_guard<std::mutex> lock(mutex);
    return record ? !checked.insert(key).second : checked.count(key) > 0;
}

} // namespace

DatabaseFile::Opening DatabaseFile::checkContents(bool checkPages)
{
    checkPages = checkPages && !checkedBefore(seen_, false);
    auto verdictOf = [this](int rc) {
        failure_ = rc;
        return isDamage(rc) ? Opening::SetAside : Opening::Unavailable;
    };
    if (checkPages) {
        SqlStatement check(db_, "PRAGMA quick_check");
        if (!check.ok())
            return verdictOf(check.prepareCode());
        const int step = sqlite3_step(check.get());
        if (step != SQLITE_ROW)
            return verdictOf(step);
        const unsigned char* verdict = sqlite3_column_text(check.get(), 0);
        if (!verdict || std::strcmp(reinterpret_cast<const char*>(verdict), "ok") != 0)
            return verdictOf(SQLITE_CORRUPT);
        checkedBefore(seen_, true);
    }
    // A file of ours whose tables lost or changed their columns would keep nothing: it is made anew.
    for (const std::string& sql : schema_.probes) {
        SqlStatement s(db_, sql);
        if (!s.ok())
            return (s.prepareCode() & 0xFF) == SQLITE_ERROR ? verdictOf(SQLITE_CORRUPT) : verdictOf(s.prepareCode());
    }
    return Opening::Usable;
}

bool DatabaseFile::setAside()
{
    close();
    struct stat now {};
    if (::lstat(file_.c_str(), &now) != 0 || now.st_dev != seen_.st_dev || now.st_ino != seen_.st_ino)
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

int runOnce(sqlite3_stmt* s)
{
    if (!s)
        return SQLITE_MISUSE;
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
}

void bindReal(sqlite3_stmt* s, int column, double v)
{
    if (std::isnan(v))
        sqlite3_bind_null(s, column);
    else
        sqlite3_bind_double(s, column, v);
}

double columnReal(sqlite3_stmt* s, int column)
{
    return sqlite3_column_type(s, column) == SQLITE_NULL ? std::nan("") : sqlite3_column_double(s, column);
}

void bindBytes(sqlite3_stmt* s, int column, const std::string& bytes)
{
    sqlite3_bind_blob(s, column, bytes.empty() ? "" : bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
}

std::string columnBytes(sqlite3_stmt* s, int column)
{
    const void* p = sqlite3_column_blob(s, column);
    const int n = sqlite3_column_bytes(s, column);
    return p && n > 0 ? std::string(static_cast<const char*>(p), size_t(n)) : std::string();
}

} // namespace platform
