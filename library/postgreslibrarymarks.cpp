// SPDX-License-Identifier: GPL-3.0-or-later
// The users' favourites and tags in the shared library: marks by path (under a root's name) and
// identity, a favourite per user, tags shared with who set them, and the program's own renames, moves
// and deletions applied to them.
#include "library/libraryfolders.h"
#include "library/postgreslibrarystore.h"

namespace library {

namespace {

/// Whether this user starred the mark m ($ names the parameter holding the user).
std::string starred(const char* userParam)
{
    return std::string("EXISTS (SELECT 1 FROM favourites v WHERE v.mark = m.id AND v.who = ") + userParam + ")";
}

/// The paths below a folder lie between "folder/" and "folder0" ('/' + 1 is '0').
platform::PgParams& below(platform::PgParams& p, const std::string& folder)
{
    return p.bytes(folder + "/").bytes(folder + "0");
}

} // namespace

std::optional<std::int64_t> PostgresLibraryStore::markId(const std::string& shared,
                                                         const platform::FileIdentity& identity, bool make)
{
    // Locked until the transaction ends: changes of one file's marks by several clients at once go one
    // after the other, each seeing what the one before left (the mark dropped as empty or not).
    Result found = query("SELECT id FROM marks WHERE path = $1 FOR UPDATE", Params().bytes(shared));
    if (found.rows() == 0 && !make)
        return std::nullopt;
    if (!found.ok())
        return std::nullopt;
    Params p;
    p.bytes(shared).integer(std::int64_t(identity.device)).integer(std::int64_t(identity.inode));
    p.integer(identity.size).integer(identity.modified);
    if (found.rows() == 1) {
        // The identity is the file's as it is now: an editor may have saved it anew.
        if (make &&
            !query("UPDATE marks SET device = $2, inode = $3, size = $4, modified = $5 WHERE path = $1", p).ok())
            return std::nullopt;
        return found.integer(0, 0);
    }
    // A file of a library folder is linked to its entry in the index, so searches find its marks.
    std::optional<FileId> file;
    if (const std::optional<LibraryPlace> place = placeOf(roots(), localOf(shared)); place && !place->name.empty())
        if (const std::optional<FolderId> folder = folderId(place->root, place->folder, false))
            file = fileId(*folder, place->name);
    if (file)
        p.integer(*file);
    else
        p.null();
    // Another client making the same mark at the same moment gets the same one.
    Result made =
        query("INSERT INTO marks(path, device, inode, size, modified, file) VALUES($1, $2, $3, $4, $5, $6)"
              " ON CONFLICT(path) DO UPDATE SET device = $2, inode = $3, size = $4, modified = $5 RETURNING id",
              p);
    return made.rows() == 1 ? std::optional<std::int64_t>(made.integer(0, 0)) : std::nullopt;
}

bool PostgresLibraryStore::dropEmptyMark(std::int64_t mark)
{
    return query("DELETE FROM marks m WHERE id = $1 AND NOT EXISTS (SELECT 1 FROM favourites v WHERE v.mark = m.id)"
                 " AND NOT EXISTS (SELECT 1 FROM tags t WHERE t.mark = m.id)",
                 Params().integer(mark))
        .ok();
}

bool PostgresLibraryStore::setFavourite(const std::string& path, const platform::FileIdentity& identity, bool favourite)
{
    Transaction t(*this);
    const std::optional<std::int64_t> mark = t.began() ? markId(sharedPath(path), identity, favourite) : std::nullopt;
    bool ok = t.began() && (mark || !favourite);
    if (mark && favourite)
        ok = query("INSERT INTO favourites(mark, who) VALUES($1, $2) ON CONFLICT DO NOTHING",
                   Params().integer(*mark).text(user_))
                 .ok();
    else if (mark)
        ok = query("DELETE FROM favourites WHERE mark = $1 AND who = $2", Params().integer(*mark).text(user_)).ok();
    return commitChange(t, ok && (!mark || dropEmptyMark(*mark)));
}

bool PostgresLibraryStore::changeTags(const std::string& path, const platform::FileIdentity& identity,
                                      const QStringList& add, const QStringList& remove)
{
    const std::vector<TagText> added = tagTexts(add);
    Transaction t(*this);
    const std::optional<std::int64_t> found =
        t.began() ? markId(sharedPath(path), identity, !added.empty()) : std::nullopt;
    if (!found) // nothing to take away from a file without marks
        return commitChange(t, t.began() && added.empty());
    const std::int64_t mark = *found;
    // Tags both added and taken away are added: what the user typed last wins. A tag the file has keeps
    // who set it and when.
    bool ok = true;
    for (const TagText& gone : tagTexts(remove))
        ok = ok &&
             query("DELETE FROM tags WHERE mark = $1 AND folded = $2", Params().integer(mark).text(gone.folded)).ok();
    for (const TagText& tag : added)
        ok = ok && query("INSERT INTO tags(mark, folded, tag, who) VALUES($1, $2, $3, $4) ON CONFLICT DO NOTHING",
                         Params().integer(mark).text(tag.folded).text(tag.tag.toStdString()).text(user_))
                       .ok();
    return commitChange(t, ok && dropEmptyMark(mark));
}

FileMarks PostgresLibraryStore::marksOf(const std::string& path)
{
    FileMarks out;
    Result r = query("SELECT " + starred("$2") +
                         ", t.tag FROM marks m LEFT JOIN tags t ON t.mark = m.id WHERE m.path = $1"
                         " ORDER BY t.folded COLLATE \"C\"",
                     Params().bytes(sharedPath(path)).text(user_));
    for (int i = 0; i < r.rows(); ++i) {
        out.favourite = r.boolean(i, 0);
        if (!r.isNull(i, 1))
            out.tags << QString::fromStdString(r.text(i, 1));
    }
    return out;
}

std::map<std::string, FileMarks> PostgresLibraryStore::marksIn(const std::string& folder)
{
    std::map<std::string, FileMarks> out;
    const std::string shared = sharedPath(folder);
    Params p;
    below(p, shared).text(user_);
    Result r = query("SELECT m.path, " + starred("$3") +
                         ", t.tag FROM marks m LEFT JOIN tags t ON t.mark = m.id WHERE m.path > $1 AND m.path < $2"
                         " ORDER BY m.path, t.folded COLLATE \"C\"",
                     p);
    for (int i = 0; i < r.rows(); ++i) {
        const std::string name = r.bytes(i, 0).substr(shared.size() + 1);
        if (name.find('/') != std::string::npos)
            continue;
        FileMarks& marks = out[name];
        marks.favourite = r.boolean(i, 1);
        if (!r.isNull(i, 2))
            marks.tags << QString::fromStdString(r.text(i, 2));
    }
    return out;
}

QStringList PostgresLibraryStore::allTags()
{
    QStringList out;
    Result r = query("SELECT min(tag COLLATE \"C\") FROM tags GROUP BY folded ORDER BY folded COLLATE \"C\"");
    for (int i = 0; i < r.rows(); ++i)
        out << QString::fromStdString(r.text(i, 0));
    return out;
}

std::vector<MarkedFile> PostgresLibraryStore::markedFiles(bool favouritesOnly)
{
    std::vector<MarkedFile> out;
    // Marks only other users starred are not this user's.
    Result r =
        query("SELECT m.path, m.device, m.inode, m.size, m.modified, " + starred("$2") +
                  ", coalesce(m.file, 0), t.tag FROM marks m LEFT JOIN tags t ON t.mark = m.id WHERE " + starred("$2") +
                  " OR (NOT $1 AND EXISTS (SELECT 1 FROM tags g WHERE g.mark = m.id))"
                  " ORDER BY m.path, t.folded COLLATE \"C\"",
              Params().boolean(favouritesOnly).text(user_));
    for (int i = 0; i < r.rows(); ++i) {
        std::string path = localOf(r.bytes(i, 0));
        if (out.empty() || out.back().path != path) {
            MarkedFile f;
            f.path = std::move(path);
            f.identity.device = std::uint64_t(r.integer(i, 1));
            f.identity.inode = std::uint64_t(r.integer(i, 2));
            f.identity.size = r.integer(i, 3);
            f.identity.modified = r.integer(i, 4);
            f.marks.favourite = r.boolean(i, 5);
            f.file = r.integer(i, 6);
            out.push_back(std::move(f));
        }
        if (!r.isNull(i, 7))
            out.back().marks.tags << QString::fromStdString(r.text(i, 7));
    }
    return out;
}

std::optional<MarkedFile> PostgresLibraryStore::markedByIdentity(const platform::FileIdentity& identity)
{
    Result r = query("SELECT path FROM marks WHERE device = $1 AND inode = $2 AND size = $3 AND modified = $4"
                     " ORDER BY id LIMIT 1",
                     Params()
                         .integer(std::int64_t(identity.device))
                         .integer(std::int64_t(identity.inode))
                         .integer(identity.size)
                         .integer(identity.modified));
    if (r.rows() != 1)
        return std::nullopt;
    MarkedFile f;
    f.path = localOf(r.bytes(0, 0));
    f.identity = identity;
    f.marks = marksOf(f.path);
    return f;
}

std::optional<std::string> PostgresLibraryStore::indexedPathOf(const platform::FileIdentity& identity)
{
    Result r = query("SELECT r.name, d.path, f.name FROM files f JOIN folders d ON d.id = f.folder JOIN roots r ON"
                     " r.id = d.root WHERE f.device = $1 AND f.inode = $2 AND f.size = $3 AND f.modified = $4 AND"
                     " NOT f.missing LIMIT 1",
                     Params()
                         .integer(std::int64_t(identity.device))
                         .integer(std::int64_t(identity.inode))
                         .integer(identity.size)
                         .integer(identity.modified));
    if (r.rows() != 1)
        return std::nullopt;
    const std::string folder = r.bytes(0, 1);
    return localPath(r.bytes(0, 0)) + "/" + (folder.empty() ? std::string() : folder + "/") + r.bytes(0, 2);
}

bool PostgresLibraryStore::followMarks(const std::string& from, const std::string& to)
{
    if (from == to || from.empty() || to.empty())
        return true;
    const std::string f = sharedPath(from), t2 = sharedPath(to);
    Transaction t(*this);
    // A rename never replaces a file: marks left under the new name are stale. Applied twice, the second
    // finds nothing to move and leaves the marks moved by the first alone.
    Params stale;
    stale.bytes(f);
    below(stale, f).bytes(t2);
    below(stale, t2);
    bool ok = t.began() && query("DELETE FROM marks WHERE (path = $4 OR (path > $5 AND path < $6)) AND EXISTS"
                                 " (SELECT 1 FROM marks WHERE path = $1 OR (path > $2 AND path < $3))",
                                 stale)
                               .ok();
    ok = ok && query("UPDATE marks SET path = $2 WHERE path = $1", Params().bytes(f).bytes(t2)).ok();
    Params subtree;
    below(subtree, f).bytes(t2).integer(std::int64_t(f.size() + 1));
    ok = ok && query("UPDATE marks SET path = $3 || substr(path, $4) WHERE path > $1 AND path < $2", subtree).ok();
    return commitChange(t, ok);
}

bool PostgresLibraryStore::forgetMarks(const std::string& path)
{
    Transaction t(*this);
    const bool ok = t.began() && query("DELETE FROM marks WHERE path = $1", Params().bytes(sharedPath(path))).ok();
    return commitChange(t, ok);
}

} // namespace library
