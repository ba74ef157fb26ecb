// SPDX-License-Identifier: GPL-3.0-or-later
// Searches of the shared library: one statement on the server, rows of roots not mounted on this
// machine offline.
#include "library/pgsearch.h"
#include "library/postgreslibrarystore.h"

#include <algorithm>

namespace library {

SearchResult PostgresLibraryStore::search(const SearchQuery& query, const SearchOrder& order, int limit)
{
    SearchResult out;
    if (!ready_) {
        out.failed = true;
        return out;
    }
    // One row more than asked tells whether there are more.
    const SearchSql sql = postgresSearchSql(query, order, limit + 1, user_);
    Params p;
    for (const SqlValue& v : sql.values) {
        if (v.kind == SqlValue::Kind::Text)
            p.text(v.text);
        else if (v.kind == SqlValue::Kind::Real)
            p.real(v.real);
        else
            p.integer(v.integer);
    }
    Result r = this->query(sql.sql, p);
    if (!r.ok()) {
        out.failed = true;
        return out;
    }
    if (r.rows() > 0)
        loadRoots();
    const std::vector<RootId> away = r.rows() > 0 ? unmounted() : std::vector<RootId>();
    for (int i = 0; i < r.rows(); ++i) {
        if (i == limit) {
            out.more = true;
            break;
        }
        SearchRow row;
        row.id = r.integer(i, 0);
        row.root = r.integer(i, 1);
        row.rootPath = localPath(r.bytes(i, 2));
        row.folder = r.bytes(i, 3);
        row.name = r.bytes(i, 4);
        row.size = r.integer(i, 5);
        row.modified = r.integer(i, 6);
        row.header.read = !r.isNull(i, 7);
        if (row.header.read) {
            row.header.formatTag = std::uint16_t(r.integer(i, 7));
            row.header.channels = std::uint16_t(r.integer(i, 8));
            row.header.bits = std::uint16_t(r.integer(i, 9));
            row.header.rate = std::uint32_t(r.integer(i, 10));
            row.header.seconds = r.real(i, 11);
        }
        row.header.loops = std::uint32_t(r.integer(i, 22));
        row.header.description = QString::fromStdString(r.text(i, 23));
        if (r.boolean(i, 18))
            row.measures = measuresAt(r, i, 12);
        const auto state = RootState(r.integer(i, 20));
        const bool here = std::find(away.begin(), away.end(), row.root) == away.end();
        row.availability = !here || state == RootState::Offline || state == RootState::Unreachable
                               ? Availability::Offline
                           : r.boolean(i, 19) ? Availability::Missing
                                              : Availability::Present;
        row.favourite = r.boolean(i, 21);
        out.rows.push_back(std::move(row));
    }
    return out;
}

} // namespace library
