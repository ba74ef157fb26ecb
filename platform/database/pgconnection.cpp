// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/database/pgconnection.h"

#include <QUrl>
#include <QUrlQuery>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <libpq-fe.h>

namespace platform {

namespace {

// A lost server is asked again at most this often, so a window searching as the user types does not
// wait for a connection timeout at every key.
constexpr std::int64_t kRetryMs = 2000;

std::int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

PgParams& PgParams::add(std::string v, int format)
{
    values_.push_back(std::move(v));
    formats_.push_back(format);
    nulls_.push_back(false);
    return *this;
}

PgParams& PgParams::real(double v)
{
    return std::isnan(v) ? null() : add(numberText(v), 0);
}

std::string PgParams::numberText(double v)
{
    if (std::isnan(v))
        return "NULL";
    if (std::isinf(v))
        return v > 0 ? "Infinity" : "-Infinity";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

PgParams& PgParams::textArray(const std::vector<std::string>& v)
{
    std::string out = "{";
    for (const std::string& text : v) {
        out += out.size() > 1 ? ",\"" : "\"";
        for (const char c : text) {
            if (c == '"' || c == '\\')
                out.push_back('\\');
            if (c != '\0') // a text value cannot hold one
                out.push_back(c);
        }
        out.push_back('"');
    }
    return add(out + "}", 0);
}

PgParams& PgParams::bytesArray(const std::vector<std::string>& v)
{
    static const char digits[] = "0123456789abcdef";
    std::string out = "{";
    for (const std::string& bytes : v) {
        out += out.size() > 1 ? ",\"\\\\x" : "\"\\\\x";
        for (const char c : bytes) {
            out.push_back(digits[(static_cast<unsigned char>(c) >> 4) & 15]);
            out.push_back(digits[static_cast<unsigned char>(c) & 15]);
        }
        out.push_back('"');
    }
    return add(out + "}", 0);
}

PgParams& PgParams::numberArray(const std::vector<std::string>& v)
{
    std::string out = "{";
    for (const std::string& n : v)
        out += (out.size() > 1 ? "," : "") + n;
    return add(out + "}", 0);
}

PgParams& PgParams::null()
{
    add({}, 0);
    nulls_.back() = true;
    return *this;
}

PgResult::~PgResult()
{
    PQclear(r_);
}

PgResult& PgResult::operator=(PgResult&& o) noexcept
{
    if (this != &o) {
        PQclear(r_);
        r_ = o.r_;
        o.r_ = nullptr;
    }
    return *this;
}

bool PgResult::ok() const
{
    const ExecStatusType s = r_ ? PQresultStatus(r_) : PGRES_FATAL_ERROR;
    return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
}

int PgResult::rows() const
{
    return ok() ? PQntuples(r_) : 0;
}

bool PgResult::isNull(int row, int column) const
{
    return PQgetisnull(r_, row, column) != 0;
}

std::int64_t PgResult::integer(int row, int column) const
{
    return std::strtoll(PQgetvalue(r_, row, column), nullptr, 10);
}

double PgResult::real(int row, int column) const
{
    return isNull(row, column) ? std::nan("") : std::strtod(PQgetvalue(r_, row, column), nullptr);
}

bool PgResult::boolean(int row, int column) const
{
    return PQgetvalue(r_, row, column)[0] == 't';
}

std::string PgResult::text(int row, int column) const
{
    return std::string(PQgetvalue(r_, row, column), size_t(PQgetlength(r_, row, column)));
}

std::string PgResult::bytes(int row, int column) const
{
    size_t length = 0;
    unsigned char* raw = PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(r_, row, column)), &length);
    if (!raw)
        return {};
    std::string out(reinterpret_cast<const char*>(raw), length);
    PQfreemem(raw);
    return out;
}

std::string PgResult::sqlState() const
{
    const char* s = r_ ? PQresultErrorField(r_, PG_DIAG_SQLSTATE) : nullptr;
    return s ? s : "";
}

std::string PgResult::error() const
{
    return r_ ? PQresultErrorMessage(r_) : "no result";
}

PgConnection::PgConnection(std::string url) : url_(std::move(url))
{
    ensure();
}

PgConnection::~PgConnection()
{
    PQfinish(conn_);
}

bool PgConnection::isOpen() const
{
    return conn_ && PQstatus(conn_) == CONNECTION_OK;
}

bool PgConnection::encrypted() const
{
    return isOpen() && PQsslInUse(conn_) == 1;
}

std::string PgConnection::error() const
{
    return conn_ ? PQerrorMessage(conn_) : "out of memory";
}

bool PgConnection::ensure()
{
    if (isOpen())
        return true;
    const std::int64_t now = nowMs();
    if (lastTry_ && now - lastTry_ < kRetryMs)
        return false;
    lastTry_ = now;
    PQfinish(conn_);
    // The URL's own values win over these defaults: a server that does not answer is given up on soon.
    const char* keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
    const char* values[] = {"5", "tonfolio", url_.c_str(), nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (!isOpen())
        return false;
    if (wasOpen_)
        reconnected_ = true;
    wasOpen_ = true;
    // Notices (a table that already exists) are not the user's business.
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
    return true;
}

PgResult PgConnection::exec(const char* sql, const PgParams& params)
{
    if (!ensure())
        return PgResult();
    std::vector<const char*> values;
    std::vector<int> lengths;
    for (int i = 0; i < params.count(); ++i) {
        values.push_back(params.nulls_[size_t(i)] ? nullptr : params.values_[size_t(i)].data());
        lengths.push_back(int(params.values_[size_t(i)].size()));
    }
    PgResult r(
        PQexecParams(conn_, sql, params.count(), nullptr, values.data(), lengths.data(), params.formats_.data(), 0));
    if (!r.ok() && PQstatus(conn_) != CONNECTION_OK) {
        lost_ = true;
        lastTry_ = 0; // the next statement tries at once, once
    }
    return r;
}

bool PgConnection::run(const char* sql)
{
    if (!ensure())
        return false;
    PgResult r(PQexec(conn_, sql));
    if (!r.ok() && PQstatus(conn_) != CONNECTION_OK)
        lost_ = true;
    return r.ok();
}

bool PgConnection::takeLost()
{
    const bool was = lost_;
    lost_ = false;
    return was;
}

bool PgConnection::takeReconnected()
{
    const bool was = reconnected_;
    reconnected_ = false;
    return was;
}

std::string PgConnection::user() const
{
    return isOpen() ? PQuser(conn_) : "";
}

std::string PgConnection::withoutPassword(const std::string& url)
{
    QUrl u(QString::fromStdString(url));
    if (!u.isValid() || u.scheme().isEmpty())
        return url;
    u.setPassword(QString());
    QUrlQuery q(u);
    q.removeAllQueryItems(QStringLiteral("password"));
    u.setQuery(q);
    return u.toString(QUrl::FullyEncoded).toStdString();
}

} // namespace platform
