// SPDX-License-Identifier: GPL-3.0-or-later
// Searches of the shared library: one statement on the server, rows of roots not mounted on this
// machine offline; sounds alike found here among the features read from the server.
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
    SearchQuery shared = query;
    if (!shared.folder.empty()) {
        loadRoots();
        shared.folder = sharedPath(shared.folder);
    }
    // One row more than asked tells whether there are more.
    const int wanted = std::max(limit, 0) + 1;
    std::vector<Result> results;
    if (!postgresSearchByRuns(shared, order)) {
        results.push_back(searchRows(postgresSearchSql(shared, order, wanted, user_)));
    } else {
        // Run by run of ids from the first (or the last), as many runs at a time as the rows found so
        // far say the rest will take, so that common words stop at the first runs and rare ones take
        // few steps.
        Result top = this->query("SELECT max(id) / $1::bigint FROM files", Params().integer(kIdRun));
        const std::int64_t last = top.rows() == 1 && !top.isNull(0, 0) ? top.integer(0, 0) : -1;
        if (!top.ok())
            results.emplace_back();
        std::int64_t looked = 0, span = 1;
        for (int got = 0; top.ok() && got < wanted && looked <= last;) {
            std::vector<std::int64_t> runs;
            for (std::int64_t i = looked; i < looked + span && i <= last; ++i)
                runs.push_back(order.descending ? last - i : i);
            looked += std::int64_t(runs.size());
            results.push_back(searchRows(postgresSearchSql(shared, order, wanted - got, user_, runs)));
            if (!results.back().ok())
                break;
            got += results.back().rows();
            span = got > 0 ? (std::int64_t(wanted - got) * looked + got - 1) / got + 1 : looked * 2;
        }
    }
    int found = 0;
    for (const Result& r : results) {
        if (!r.ok()) {
            out.failed = true;
            return out;
        }
        found += r.rows();
    }
    if (found == 0)
        return out;
    loadRoots();
    const std::vector<RootId> away = unmounted();
    for (const Result& r : results)
        for (int i = 0; i < r.rows(); ++i) {
            if (int(out.rows.size()) == limit) {
                out.more = true;
                return out;
            }
            out.rows.push_back(rowAt(r, i, away));
        }
    return out;
}

PostgresLibraryStore::Result PostgresLibraryStore::searchRows(const SearchSql& sql)
{
    Params p;
    for (const SqlValue& v : sql.values) {
        if (v.kind == SqlValue::Kind::Text)
            p.text(v.text);
        else if (v.kind == SqlValue::Kind::Real)
            p.real(v.real);
        else
            p.integer(v.integer);
    }
    return query(sql.sql, p);
}

SearchRow PostgresLibraryStore::rowAt(const Result& r, int i, const std::vector<RootId>& away)
{
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
    row.availability = !here || state == RootState::Offline || state == RootState::Unreachable ? Availability::Offline
                       : r.boolean(i, 19)                                                      ? Availability::Missing
                                                                                               : Availability::Present;
    row.favourite = r.boolean(i, 21);
    return row;
}

std::optional<SoundFeatures> PostgresLibraryStore::featuresOf(FileId file)
{
    Result r = query("SELECT features FROM sound_features WHERE file = $1", Params().integer(file));
    if (r.rows() != 1)
        return std::nullopt;
    const std::string bytes = r.bytes(0, 0);
    return featuresFromBytes(bytes.data(), bytes.size());
}

std::optional<FileId> PostgresLibraryStore::fileAt(const std::string& path)
{
    for (const LibraryRoot& root : roots()) {
        if (path.size() <= root.path.size() + 1 || path.compare(0, root.path.size(), root.path) != 0 ||
            path[root.path.size()] != '/')
            continue;
        const std::string relative = path.substr(root.path.size() + 1);
        const size_t slash = relative.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : relative.substr(0, slash);
        Result r = query("SELECT f.id FROM files f JOIN folders d ON d.id = f.folder WHERE d.root = $1 AND d.path = $2"
                         " AND f.name = $3 AND NOT f.missing",
                         Params().integer(root.id).bytes(folder).bytes(relative.substr(slash + 1)));
        // A library folder inside another holds the file too; either entry names it.
        if (r.rows() == 1)
            return r.integer(0, 0);
    }
    return std::nullopt;
}

bool PostgresLibraryStore::loadSimilarity()
{
    const std::int64_t changes = changeCount();
    if (changes < 0)
        return false;
    if (changes == similarityChanges_)
        return true;
    Result r = query("SELECT file, features FROM sound_features ORDER BY file");
    if (!r.ok())
        return false;
    std::vector<SimilarityIndex::Id> ids;
    std::vector<SoundFeatures> features;
    for (int i = 0; i < r.rows(); ++i) {
        const std::string bytes = r.bytes(i, 1);
        if (const auto f = featuresFromBytes(bytes.data(), bytes.size())) {
            ids.push_back(r.integer(i, 0));
            features.push_back(*f);
        }
    }
    similarity_.update(std::move(ids), features);
    similarityChanges_ = changes;
    return true;
}

SearchResult PostgresLibraryStore::similar(const SoundFeatures& like, const SimilarityWeights& weights,
                                           const SearchQuery& within, int limit)
{
    SearchResult out;
    if (!ready_ || !loadSimilarity()) {
        out.failed = true;
        return out;
    }
    if (limit <= 0)
        return out;
    const auto nearest = nearestWithin(*this, similarity_, like, weights, within, limit);
    if (!nearest) {
        out.failed = true;
        return out;
    }
    const std::vector<SimilarityIndex::Hit>& hits = *nearest;
    if (hits.empty()) {
        out.noFolders = roots().empty();
        return out;
    }
    out.more = int(hits.size()) > limit;
    std::string ids = "{";
    for (size_t i = 0; i < hits.size() && int(i) < limit; ++i)
        ids += (i ? "," : "") + std::to_string(hits[i].id);
    Result r = query(postgresColumns("$1") + " WHERE f.id = ANY($2::bigint[])", Params().text(user_).text(ids + "}"));
    if (!r.ok()) {
        out.failed = true;
        return out;
    }
    loadRoots();
    const std::vector<RootId> away = unmounted();
    std::map<FileId, SearchRow> rows;
    for (int i = 0; i < r.rows(); ++i) {
        SearchRow row = rowAt(r, i, away);
        rows.emplace(row.id, std::move(row));
    }
    // Nearest first, as the index ranked them.
    for (size_t i = 0; i < hits.size() && int(i) < limit; ++i)
        if (auto it = rows.find(hits[i].id); it != rows.end()) {
            out.rows.push_back(std::move(it->second));
            out.rows.back().similarity = hits[i].similarity;
        }
    return out;
}

} // namespace library
