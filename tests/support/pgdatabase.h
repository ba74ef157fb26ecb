// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A database of its own on the private test server (TONFOLIO_TEST_PG_URL, see scripts/postgres.sh),
// dropped when it goes. Without the server, url() is empty and the test skips.

#include <string>

namespace testing_support {

class PgDatabase {
public:
    PgDatabase();
    ~PgDatabase();
    PgDatabase(const PgDatabase&) = delete;
    PgDatabase& operator=(const PgDatabase&) = delete;

    /// The new database's URL; empty without a server.
    const std::string& url() const { return url_; }
    /// The same database for another role.
    std::string urlAs(const std::string& role) const;
    /// The same database over TCP with TLS offered (TONFOLIO_TEST_PG_TLS_URL), with these more
    /// parameters ("sslmode=require"); empty when the server offers no TLS.
    std::string tlsUrl(const std::string& parameters) const;
    /// A file of the server's folder ("tls/server.crt").
    static std::string serverFile(const std::string& name);
    /// Runs SQL in the database as the server's owner (roles, grants); whether it went well.
    bool run(const std::string& sql) const;
    /// Drops it and makes it again, empty.
    bool recreate();
    /// Stops or starts the whole server (pg_ctl), for tests of a server going away.
    static bool stopServer();
    static bool startServer();

private:
    bool admin(const std::string& sql) const;
    std::string base_;
    std::string name_;
    std::string url_;
};

} // namespace testing_support
