// SPDX-License-Identifier: GPL-3.0-or-later
// Sounds alike in the SQLite library: the stored features are read into one similarity index, kept
// while the library does not change, and the nearest files come back as ordinary search rows.
#include "library/sqlitelibrarystore.h"
#include "library/sqlsearch.h"

#include <sqlite3.h>

namespace library {

using platform::columnBytes;
using platform::SqlStatement;

std::optional<SoundFeatures> SqliteLibraryStore::featuresOf(FileId file)
{
    sqlite3_stmt* s = statement("SELECT features FROM sound_features WHERE file = ?1");
    if (!s)
        return std::nullopt;
    sqlite3_bind_int64(s, 1, file);
    std::optional<SoundFeatures> out;
    if (sqlite3_step(s) == SQLITE_ROW)
        out = featuresFromBytes(sqlite3_column_blob(s, 0), std::size_t(sqlite3_column_bytes(s, 0)));
    sqlite3_reset(s);
    return out;
}

std::optional<FileId> SqliteLibraryStore::fileAt(const std::string& path)
{
    if (!db())
        return std::nullopt;
    for (const LibraryRoot& root : roots()) {
        if (path.size() <= root.path.size() + 1 || path.compare(0, root.path.size(), root.path) != 0 ||
            path[root.path.size()] != '/')
            continue;
        const std::string relative = path.substr(root.path.size() + 1);
        const size_t slash = relative.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : relative.substr(0, slash);
        const std::string name = slash == std::string::npos ? relative : relative.substr(slash + 1);
        const std::optional<FolderId> dir = folderId(root.id, folder, false);
        const std::optional<FileId> id = dir ? fileId(*dir, name) : std::nullopt;
        sqlite3_stmt* s = id ? statement("SELECT missing FROM files WHERE id = ?1") : nullptr;
        if (!s)
            continue;
        sqlite3_bind_int64(s, 1, *id);
        const bool present = sqlite3_step(s) == SQLITE_ROW && sqlite3_column_int(s, 0) == 0;
        sqlite3_reset(s);
        // A library folder inside another holds the file too; either entry names it.
        if (present)
            return id;
    }
    return std::nullopt;
}

bool SqliteLibraryStore::loadSimilarity()
{
    const std::int64_t changes = changeCount();
    if (changes < 0)
        return false;
    if (changes == similarityChanges_)
        return true;
    std::vector<SimilarityIndex::Id> ids;
    std::vector<SoundFeatures> features;
    SqlStatement s(db(), "SELECT file, features FROM sound_features ORDER BY file");
    int rc = s.ok() ? SQLITE_OK : s.prepareCode();
    while (rc == SQLITE_OK && (rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        rc = SQLITE_OK;
        const auto f =
            featuresFromBytes(sqlite3_column_blob(s.get(), 1), std::size_t(sqlite3_column_bytes(s.get(), 1)));
        if (!f)
            continue;
        ids.push_back(sqlite3_column_int64(s.get(), 0));
        features.push_back(*f);
    }
    if (rc != SQLITE_DONE) {
        failed(rc);
        return false;
    }
    similarity_.update(std::move(ids), features);
    similarityChanges_ = changes;
    return true;
}

SearchResult SqliteLibraryStore::similar(const SoundFeatures& like, const SimilarityWeights& weights,
                                         const SearchQuery& within, int limit)
{
    SearchResult out;
    if (!db() || !loadSimilarity()) {
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
    if (hits.empty())
        out.noFolders = roots().empty();
    for (const SimilarityIndex::Hit& hit : hits) {
        if (int(out.rows.size()) == limit) {
            out.more = true;
            break;
        }
        sqlite3_stmt* s = statement(sqliteRowSql());
        if (!s) {
            out.rows.clear();
            out.failed = true;
            return out;
        }
        sqlite3_bind_int64(s, 1, hit.id);
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            out.rows.push_back(rowAt(s));
            out.rows.back().similarity = hit.similarity;
        }
        sqlite3_reset(s);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            out.rows.clear();
            out.failed = true;
            failed(rc);
            return out;
        }
    }
    return out;
}

} // namespace library
