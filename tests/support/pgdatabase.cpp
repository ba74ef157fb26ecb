// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/pgdatabase.h"

#include "platform/database/pgconnection.h"

#include <QUrl>
#include <QUrlQuery>
#include <atomic>
#include <cstdlib>
#include <unistd.h>

namespace testing_support {

namespace {

std::atomic<int> made{0};

std::string withDatabase(const std::string& url, const std::string& name, const std::string& user = {})
{
    QUrl u(QString::fromStdString(url));
    u.setPath("/" + QString::fromStdString(name));
    if (!user.empty()) {
        QUrlQuery q(u);
        q.removeAllQueryItems("user");
        q.addQueryItem("user", QString::fromStdString(user));
        u.setQuery(q);
    }
    return u.toString(QUrl::FullyEncoded).toStdString();
}

bool serverCommand(const char* what)
{
    const char* ctl = std::getenv("TONFOLIO_PG_CTL");
    if (!ctl)
        return false;
    const std::string command = std::string(ctl) + " -w -m fast " + what + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

} // namespace

PgDatabase::PgDatabase()
{
    const char* base = std::getenv("TONFOLIO_TEST_PG_URL");
    if (!base || !*base)
        return;
    base_ = base;
    name_ = "t" + std::to_string(::getpid()) + "_" + std::to_string(made++);
    if (recreate())
        url_ = withDatabase(base_, name_);
}

PgDatabase::~PgDatabase()
{
    if (!base_.empty())
        admin("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
}

bool PgDatabase::admin(const std::string& sql) const
{
    platform::PgConnection c(base_);
    return c.run(sql.c_str());
}

bool PgDatabase::recreate()
{
    return admin("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)") && admin("CREATE DATABASE " + name_);
}

std::string PgDatabase::urlAs(const std::string& role) const
{
    return withDatabase(base_, name_, role);
}

std::string PgDatabase::tlsUrl(const std::string& parameters) const
{
    const char* tls = std::getenv("TONFOLIO_TEST_PG_TLS_URL");
    if (!tls || !*tls || url_.empty())
        return {};
    return withDatabase(tls, name_) + "&" + parameters;
}

std::string PgDatabase::serverFile(const std::string& name)
{
    const char* dir = std::getenv("TONFOLIO_PG_DIR");
    return dir ? std::string(dir) + "/" + name : std::string();
}

bool PgDatabase::run(const std::string& sql) const
{
    platform::PgConnection c(url_);
    return c.run(sql.c_str());
}

bool PgDatabase::stopServer()
{
    return serverCommand("stop");
}

bool PgDatabase::startServer()
{
    // The socket folder and options were given at the first start; pg_ctl keeps them.
    return serverCommand("start");
}

} // namespace testing_support
