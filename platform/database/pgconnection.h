// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A connection to a PostgreSQL server (a shared library): statements with bound values only, results
// freed when they go, and a connection that was lost made again on the next statement.

#include <cstdint>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

namespace platform {

/// The values of a statement's $1, $2, ... in order: text, or bytes sent as they are (bytea).
class PgParams {
public:
    PgParams& text(std::string v) { return add(std::move(v), 0); }
    PgParams& bytes(std::string v) { return add(std::move(v), 1); }
    PgParams& integer(std::int64_t v) { return add(std::to_string(v), 0); }
    PgParams& boolean(bool v) { return add(v ? "t" : "f", 0); }
    /// NaN is sent as NULL (no such measure).
    PgParams& real(double v);
    PgParams& null();
    /// Arrays for $n::text[], $n::bytea[] and numeric arrays ($n::bigint[]: elements as text, "NULL"
    /// for none), sent as one value each: a statement can take many rows at once.
    PgParams& textArray(const std::vector<std::string>& v);
    PgParams& bytesArray(const std::vector<std::string>& v);
    PgParams& numberArray(const std::vector<std::string>& v);
    /// A double as an array element: NaN is NULL.
    static std::string numberText(double v);
    int count() const { return int(values_.size()); }

private:
    friend class PgConnection;
    PgParams& add(std::string v, int format);
    std::vector<std::string> values_;
    std::vector<int> formats_;
    std::vector<bool> nulls_;
};

/// A statement's result; empty (not ok) when the statement could not be sent.
class PgResult {
public:
    PgResult() = default;
    explicit PgResult(pg_result* r) : r_(r) {}
    ~PgResult();
    PgResult(PgResult&& o) noexcept : r_(o.r_) { o.r_ = nullptr; }
    PgResult& operator=(PgResult&& o) noexcept;
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;

    bool ok() const;
    int rows() const;
    bool isNull(int row, int column) const;
    std::int64_t integer(int row, int column) const;
    /// NaN for NULL.
    double real(int row, int column) const;
    bool boolean(int row, int column) const;
    std::string text(int row, int column) const;
    /// A bytea column's bytes.
    std::string bytes(int row, int column) const;
    /// The server's five-character error code ("42501": no permission); empty when none.
    std::string sqlState() const;
    std::string error() const;

private:
    pg_result* r_ = nullptr;
};

class PgConnection {
public:
    /// Connects to a libpq URL or "key=value" string; a password comes from ~/.pgpass or PGPASSFILE
    /// when the URL names none; TLS as the URL's sslmode asks.
    explicit PgConnection(std::string url);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    bool isOpen() const;
    /// Why the last connection or statement failed.
    std::string error() const;
    /// Runs one statement. A connection found lost is made again first (at most every few seconds).
    PgResult exec(const char* sql, const PgParams& params = {});
    PgResult exec(const std::string& sql, const PgParams& params = {}) { return exec(sql.c_str(), params); }
    /// Runs statements without values (schema, BEGIN, COMMIT); whether all went well.
    bool run(const char* sql);
    /// Whether the connection was lost since the last call, and whether it was made again since.
    bool takeLost();
    bool takeReconnected();
    /// Whether the connection is encrypted (TLS).
    bool encrypted() const;
    /// The role the server knows this connection as.
    std::string user() const;
    /// The URL without its password, to be shown or stored.
    static std::string withoutPassword(const std::string& url);

private:
    bool ensure();
    std::string url_;
    pg_conn* conn_ = nullptr;
    std::int64_t lastTry_ = 0;
    bool lost_ = false;
    bool reconnected_ = false;
    bool wasOpen_ = false;
};

} // namespace platform
