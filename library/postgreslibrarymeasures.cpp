// SPDX-License-Identifier: GPL-3.0-or-later
// Pass two on the shared library: the files left to measure, of the roots mounted on this machine, and
// their measures.
#include "library/postgreslibrarystore.h"

namespace library {

namespace {

// Root states whose files cannot be reached now: pass two leaves them for later.
const char* const kRootReachable = "r.state NOT IN (3, 4)";

} // namespace

std::vector<Unmeasured> PostgresLibraryStore::unmeasured(FileId after, int limit)
{
    // Files of roots not mounted on this machine are left to a machine that has them.
    std::string skip = "{";
    for (const RootId id : unmounted())
        skip += (skip.size() > 1 ? "," : "") + std::to_string(id);
    std::vector<Unmeasured> out;
    Result r = query(
        std::string("SELECT f.id, r.name, d.path, f.name, f.size, f.modified, f.device, f.inode FROM files f"
                    " JOIN folders d ON d.id = f.folder JOIN roots r ON r.id = d.root WHERE f.id > $1 AND"
                    " NOT f.missing AND NOT (r.id = ANY($3::bigint[])) AND ") +
            kRootReachable + " AND NOT EXISTS (SELECT 1 FROM measures m WHERE m.file = f.id) ORDER BY f.id LIMIT $2",
        Params().integer(after).integer(limit).text(skip + "}"));
    for (int i = 0; i < r.rows(); ++i) {
        Unmeasured u;
        u.id = r.integer(i, 0);
        u.path = filePath(localPath(r.bytes(i, 1)), r.bytes(i, 2), r.bytes(i, 3));
        u.size = r.integer(i, 4);
        u.modified = r.integer(i, 5);
        u.device = std::uint64_t(r.integer(i, 6));
        u.inode = std::uint64_t(r.integer(i, 7));
        out.push_back(std::move(u));
    }
    return out;
}

std::int64_t PostgresLibraryStore::unmeasuredCount()
{
    Result r = query(std::string("SELECT count(*) FROM files f JOIN folders d ON d.id = f.folder JOIN roots r ON"
                                 " r.id = d.root WHERE NOT f.missing AND ") +
                     kRootReachable + " AND NOT EXISTS (SELECT 1 FROM measures m WHERE m.file = f.id)");
    return r.rows() == 1 ? r.integer(0, 0) : 0;
}

bool PostgresLibraryStore::putMeasures(const std::vector<MeasuredFile>& measures)
{
    Transaction t(*this);
    bool ok = t.began();
    for (size_t i = 0; ok && i < measures.size(); ++i) {
        const MeasuredFile& f = measures[i];
        Params p;
        p.integer(f.id).real(f.measures.loudness).real(f.measures.peak).real(f.measures.tempo).real(f.measures.pitch);
        if (f.measures.key)
            p.integer(f.measures.key->tonic + (f.measures.key->minor ? 12 : 0));
        else
            p.null();
        p.boolean(f.measures.decoded).integer(f.size).integer(f.modified);
        Result put = query("INSERT INTO measures(file, loudness, peak, tempo, pitch, key, decoded)"
                           " SELECT $1, $2, $3, $4, $5, $6, $7 WHERE EXISTS"
                           " (SELECT 1 FROM files WHERE id = $1 AND size = $8 AND modified = $9)"
                           " ON CONFLICT(file) DO UPDATE SET loudness = $2, peak = $3, tempo = $4, pitch = $5,"
                           " key = $6, decoded = $7 RETURNING file",
                           p);
        ok = put.ok();
        if (ok && put.rows() == 1)
            ok = f.measures.features
                     ? query("INSERT INTO sound_features(file, features) VALUES($1, $2) ON CONFLICT(file) DO UPDATE"
                             " SET features = $2",
                             Params().integer(f.id).bytes(featureBytes(*f.measures.features)))
                           .ok()
                     : query("DELETE FROM sound_features WHERE file = $1", Params().integer(f.id)).ok();
    }
    return commitChange(t, ok);
}

FileMeasures PostgresLibraryStore::measuresAt(const Result& r, int row, int first)
{
    FileMeasures m;
    m.loudness = r.real(row, first);
    m.peak = r.real(row, first + 1);
    m.tempo = r.real(row, first + 2);
    m.pitch = r.real(row, first + 3);
    if (!r.isNull(row, first + 4)) {
        const int code = int(r.integer(row, first + 4));
        if (code >= 0 && code < 24)
            m.key = MusicalKey{code % 12, code >= 12};
    }
    m.decoded = r.boolean(row, first + 5);
    return m;
}

std::optional<FileMeasures> PostgresLibraryStore::measures(FileId file)
{
    Result r = query("SELECT loudness, peak, tempo, pitch, key, decoded FROM measures WHERE file = $1",
                     Params().integer(file));
    if (r.rows() != 1)
        return std::nullopt;
    FileMeasures m = measuresAt(r, 0, 0);
    m.features = featuresOf(file);
    return m;
}

} // namespace library
