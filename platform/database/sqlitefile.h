// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An SQLite file of the program's own (the measures cache, the library): opened without following a
// link, checked to be ours and whole, made or upgraded in one transaction, and moved aside with its
// journals when it is damaged or someone else's.

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace platform {

/// What a file must hold, and how to make or upgrade it.
struct DatabaseSchema {
    /// Marks the file as this program's; any other application id is someone else's.
    int applicationId = 0;
    /// migrations[i] turns a file of version i into version i + 1; a file's version is their count.
    std::vector<std::string> migrations;
    /// Statements the program runs: a file of the right version whose tables lost or changed columns
    /// fails to prepare them and is set aside.
    std::vector<std::string> probes;
    /// A file of another version is set aside rather than upgraded or refused: for caches, which lose
    /// nothing a user made.
    bool replaceOtherVersions = false;
    /// Every page is read at opening when the file is at most this big; a larger file is trusted until
    /// a read in use reports damage, as reading it whole would hold up every start.
    std::int64_t checkPagesUpTo = std::numeric_limits<std::int64_t>::max();
};

/// One prepared statement, finalised when it goes.
class SqlStatement {
public:
    SqlStatement(sqlite3* db, const char* sql);
    SqlStatement(sqlite3* db, const std::string& sql) : SqlStatement(db, sql.c_str()) {}
    ~SqlStatement();
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;
    bool ok() const { return stmt_ != nullptr; }
    int prepareCode() const { return rc_; }
    sqlite3_stmt* get() const { return stmt_; }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = 0;
};

/// A write transaction: BEGIN IMMEDIATE when made, rolled back unless committed.
class SqlTransaction {
public:
    explicit SqlTransaction(sqlite3* db);
    ~SqlTransaction();
    SqlTransaction(const SqlTransaction&) = delete;
    SqlTransaction& operator=(const SqlTransaction&) = delete;
    /// SQLite's result of BEGIN.
    int began() const { return rc_; }
    /// Commits (rolls back when that fails); SQLite's result.
    int commit();

private:
    sqlite3* db_;
    int rc_;
    bool done_ = false;
};

class DatabaseFile {
public:
    enum class Opening {
        Usable,      ///< open, ours, of the current version
        SetAside,    ///< damaged, another program's, or a link: to be moved aside
        Unavailable, ///< cannot be read or written now (no permission, full disk, a lock held too long)
        Newer,       ///< made by a newer version of the program: left alone
    };

    /// file: a native path; the file is not touched until open().
    DatabaseFile(std::string file, DatabaseSchema schema);
    ~DatabaseFile();
    DatabaseFile(const DatabaseFile&) = delete;
    DatabaseFile& operator=(const DatabaseFile&) = delete;

    /// Opens, looks at the file, and makes or upgrades its tables. In WAL mode, with a busy timeout,
    /// so several copies of the program read while one writes.
    Opening open();
    /// Moves the file last opened (with its journal files) to ".damaged", unless another file took
    /// its place meanwhile; whether it did. Closes the connection.
    bool setAside();
    void close();

    /// Makes the folder of a database file and names the file by the folder's real path: the folder may
    /// be a link (a cache on another disk); only the file itself must not be one.
    static std::string placeFile(std::string file);

    sqlite3* db() const { return db_; }
    const std::string& file() const { return file_; }
    /// The SQLite result code that made the last open() fail.
    int failure() const { return failure_; }

    /// Results that mean the file holds something wrong, not that it cannot be used now.
    static bool isDamage(int code);
    /// Another connection holds the lock: waiting longer would do.
    static bool isBusy(int code);
    /// Runs one statement without results; SQLite's result.
    static int exec(sqlite3* db, const char* sql);
    /// The first column of a statement's first row as an integer; SQLite's result.
    static int queryInt(sqlite3* db, const char* sql, std::int64_t& value);

    /// How long a connection waits for another's write lock.
    static constexpr int kBusyWaitMs = 3000;

private:
    Opening checkAndCreate();
    Opening checkContents(bool checkPages);

    std::string file_;
    DatabaseSchema schema_;
    sqlite3* db_ = nullptr;
    struct stat seen_ {};
    int failure_ = 0;
};

/// Steps a statement that returns no rows (or whose rows are not wanted) once and resets it; SQLITE_OK
/// when it ran.
int runOnce(sqlite3_stmt* s);

/// A real value as stored: NaN (no such value) as NULL, infinities as they are.
void bindReal(sqlite3_stmt* s, int column, double v);
/// A stored real value; NULL reads as NaN.
double columnReal(sqlite3_stmt* s, int column);
/// A byte string as a BLOB (names need not be text); empty stays empty, never NULL.
void bindBytes(sqlite3_stmt* s, int column, const std::string& bytes);
std::string columnBytes(sqlite3_stmt* s, int column);

} // namespace platform
