// SPDX-License-Identifier: GPL-3.0-or-later
// The user's favourites and tags in the SQLite library: marks by path and identity, their tags, and the
// program's own renames, moves and deletions applied to them.
#include "library/libraryfolders.h"
#include "library/sqlitelibrarystore.h"

#include <algorithm>
#include <sqlite3.h>

namespace library {

using platform::bindBytes;
using platform::columnBytes;
using platform::runOnce;
using platform::SqlTransaction;

namespace {

QString columnText(sqlite3_stmt* s, int column)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, column)),
                             sqlite3_column_bytes(s, column));
}

/// The paths below a folder lie between "folder/" and "folder0" ('/' + 1 is '0').
void bindBelow(sqlite3_stmt* s, int first, const std::string& folder)
{
    bindBytes(s, first, folder + "/");
    bindBytes(s, first + 1, folder + "0");
}

} // namespace

// The path of a file of the index (folder id F, name N) as bytes, for the triggers below.
#define TONFOLIO_INDEXED_PATH(F, N)                                                                                    \
    "(SELECT CAST(r.path || '/' || CASE WHEN length(d.path) > 0 THEN d.path || '/' ELSE '' END || " N " AS BLOB)"       \
    " FROM folders d JOIN roots r ON r.id = d.root WHERE d.id = " F ")"

// Version 2 of the library: the user's favourites and tags, by absolute path and by identity (device, inode, size,
// modification time), linked to the index's entry of the file while it has one. The triggers keep them
// with the file: an entry the index makes takes the marks of its path, or of its identity where another
// program moved the file; a rename or move by the program takes them along; a file changed in place keeps
// them; an entry dropped leaves them by path and identity.
const char* const kMarksSchema =
    "CREATE TABLE marks(id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE, device INTEGER NOT NULL,"
    " inode INTEGER NOT NULL, size INTEGER NOT NULL, modified INTEGER NOT NULL,"
    " favourite INTEGER NOT NULL DEFAULT 0, file INTEGER);"
    "CREATE INDEX marks_identity ON marks(device, inode);"
    "CREATE INDEX marks_file ON marks(file) WHERE file IS NOT NULL;"
    "CREATE TABLE tags(mark INTEGER NOT NULL, folded TEXT NOT NULL, tag TEXT NOT NULL, PRIMARY KEY(mark, folded))"
    " WITHOUT ROWID;"
    "CREATE INDEX tags_folded ON tags(folded);"
    "CREATE TRIGGER marks_found AFTER INSERT ON files WHEN EXISTS (SELECT 1 FROM marks) BEGIN"
    " UPDATE OR IGNORE marks SET file = new.id, path = " TONFOLIO_INDEXED_PATH("new.folder", "new.name") ","
    " device = new.device, inode = new.inode, size = new.size, modified = new.modified"
    " WHERE (device = new.device AND inode = new.inode AND size = new.size AND modified = new.modified)"
    " OR path = " TONFOLIO_INDEXED_PATH("new.folder", "new.name") "; END;"
    "CREATE TRIGGER marks_moved AFTER UPDATE OF folder, name ON files BEGIN"
    " UPDATE OR IGNORE marks SET path = " TONFOLIO_INDEXED_PATH("new.folder", "new.name") " WHERE file = new.id; END;"
    "CREATE TRIGGER marks_changed AFTER UPDATE OF size, modified, device, inode ON files BEGIN"
    " UPDATE marks SET size = new.size, modified = new.modified, device = new.device, inode = new.inode"
    " WHERE file = new.id; END;"
    "CREATE TRIGGER marks_unlinked AFTER DELETE ON files BEGIN UPDATE marks SET file = NULL WHERE file = old.id; END;";

#undef TONFOLIO_INDEXED_PATH

const char* SqliteLibraryStore::marksSchema()
{
    return kMarksSchema;
}

std::optional<std::int64_t> SqliteLibraryStore::markId(const std::string& path, const platform::FileIdentity& identity,
                                                       bool make)
{
    if (sqlite3_stmt* s = statement("SELECT id FROM marks WHERE path = ?1")) {
        bindBytes(s, 1, path);
        const bool found = sqlite3_step(s) == SQLITE_ROW;
        const std::int64_t id = sqlite3_column_int64(s, 0);
        sqlite3_reset(s);
        if (found) {
            // The identity is the file's as it is now: an editor may have saved it anew.
            if (make)
                if (sqlite3_stmt* u = statement("UPDATE marks SET device = ?2, inode = ?3, size = ?4, modified = ?5"
                                                " WHERE id = ?1")) {
                    sqlite3_bind_int64(u, 1, id);
                    sqlite3_bind_int64(u, 2, sqlite3_int64(identity.device));
                    sqlite3_bind_int64(u, 3, sqlite3_int64(identity.inode));
                    sqlite3_bind_int64(u, 4, identity.size);
                    sqlite3_bind_int64(u, 5, identity.modified);
                    runOnce(u);
                }
            return id;
        }
    }
    if (!make)
        return std::nullopt;
    // A file of a library folder is linked to its entry in the index, so searches find its marks.
    std::optional<FileId> file;
    if (const std::optional<LibraryPlace> place = placeOf(roots(), path); place && !place->name.empty())
        if (const std::optional<FolderId> folder = folderId(place->root, place->folder, false))
            file = fileId(*folder, place->name);
    sqlite3_stmt* s = statement("INSERT INTO marks(path, device, inode, size, modified, file)"
                                " VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    if (!s)
        return std::nullopt;
    bindBytes(s, 1, path);
    sqlite3_bind_int64(s, 2, sqlite3_int64(identity.device));
    sqlite3_bind_int64(s, 3, sqlite3_int64(identity.inode));
    sqlite3_bind_int64(s, 4, identity.size);
    sqlite3_bind_int64(s, 5, identity.modified);
    if (file)
        sqlite3_bind_int64(s, 6, *file);
    if (runOnce(s) != SQLITE_OK)
        return std::nullopt;
    return sqlite3_last_insert_rowid(db());
}

int SqliteLibraryStore::dropEmptyMarks()
{
    return platform::DatabaseFile::exec(
        db(), "DELETE FROM marks WHERE favourite = 0 AND NOT EXISTS (SELECT 1 FROM tags WHERE tags.mark = marks.id)");
}

bool SqliteLibraryStore::setFavourite(const std::string& path, const platform::FileIdentity& identity, bool favourite)
{
    SqlTransaction t(db());
    int rc = t.began();
    const std::optional<std::int64_t> mark = rc == SQLITE_OK ? markId(path, identity, favourite) : std::nullopt;
    sqlite3_stmt* s = mark ? statement("UPDATE marks SET favourite = ?2 WHERE id = ?1") : nullptr;
    if (s) {
        sqlite3_bind_int64(s, 1, *mark);
        sqlite3_bind_int(s, 2, favourite ? 1 : 0);
        rc = runOnce(s);
    } else if (rc == SQLITE_OK && favourite) {
        rc = SQLITE_ERROR;
    }
    if (rc == SQLITE_OK)
        rc = dropEmptyMarks();
    return !failed(commitChange(t, rc));
}

bool SqliteLibraryStore::changeTags(const std::string& path, const platform::FileIdentity& identity,
                                    const QStringList& add, const QStringList& remove)
{
    const std::vector<TagText> added = tagTexts(add);
    SqlTransaction t(db());
    int rc = t.began();
    const std::optional<std::int64_t> mark = rc == SQLITE_OK ? markId(path, identity, !added.empty()) : std::nullopt;
    if (!mark && rc == SQLITE_OK && !added.empty())
        rc = SQLITE_ERROR;
    // Tags both added and taken away are added: what the user typed last wins.
    const auto bindTag = [&](const TagText& tag) {
        return [&](sqlite3_stmt* s) {
            const QByteArray text = tag.tag.toUtf8();
            sqlite3_bind_int64(s, 1, *mark);
            sqlite3_bind_text(s, 2, tag.folded.data(), int(tag.folded.size()), SQLITE_TRANSIENT);
            if (sqlite3_bind_parameter_count(s) == 3)
                sqlite3_bind_text(s, 3, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        };
    };
    if (mark) {
        for (const TagText& gone : tagTexts(remove))
            rc = runInTurn(rc, {"DELETE FROM tags WHERE mark = ?1 AND folded = ?2"}, bindTag(gone));
        for (const TagText& tag : added)
            rc = runInTurn(rc, {"INSERT OR IGNORE INTO tags(mark, folded, tag) VALUES(?1, ?2, ?3)"}, bindTag(tag));
    }
    if (rc == SQLITE_OK)
        rc = dropEmptyMarks();
    return !failed(commitChange(t, rc));
}

FileMarks SqliteLibraryStore::marksOf(const std::string& path)
{
    FileMarks out;
    sqlite3_stmt* s = statement("SELECT m.favourite, t.tag FROM marks m LEFT JOIN tags t ON t.mark = m.id"
                                " WHERE m.path = ?1 ORDER BY t.folded");
    if (!s)
        return out;
    bindBytes(s, 1, path);
    while (sqlite3_step(s) == SQLITE_ROW) {
        out.favourite = sqlite3_column_int(s, 0) != 0;
        if (sqlite3_column_type(s, 1) != SQLITE_NULL)
            out.tags << columnText(s, 1);
    }
    sqlite3_reset(s);
    return out;
}

std::map<std::string, FileMarks> SqliteLibraryStore::marksIn(const std::string& folder)
{
    std::map<std::string, FileMarks> out;
    sqlite3_stmt* s = statement("SELECT m.path, m.favourite, t.tag FROM marks m LEFT JOIN tags t ON t.mark = m.id"
                                " WHERE m.path > ?1 AND m.path < ?2 ORDER BY m.path, t.folded");
    if (!s)
        return out;
    bindBelow(s, 1, folder);
    while (sqlite3_step(s) == SQLITE_ROW) {
        const std::string name = columnBytes(s, 0).substr(folder.size() + 1);
        if (name.find('/') != std::string::npos)
            continue;
        FileMarks& marks = out[name];
        marks.favourite = sqlite3_column_int(s, 1) != 0;
        if (sqlite3_column_type(s, 2) != SQLITE_NULL)
            marks.tags << columnText(s, 2);
    }
    sqlite3_reset(s);
    return out;
}

QStringList SqliteLibraryStore::allTags()
{
    QStringList out;
    sqlite3_stmt* s = statement("SELECT min(tag) FROM tags GROUP BY folded ORDER BY folded");
    if (!s)
        return out;
    while (sqlite3_step(s) == SQLITE_ROW)
        out << columnText(s, 0);
    sqlite3_reset(s);
    return out;
}

std::vector<MarkedFile> SqliteLibraryStore::markedFiles(bool favouritesOnly)
{
    std::vector<MarkedFile> out;
    sqlite3_stmt* s = statement("SELECT m.path, m.device, m.inode, m.size, m.modified, m.favourite, ifnull(m.file, 0),"
                                " t.tag FROM marks m LEFT JOIN tags t ON t.mark = m.id"
                                " WHERE m.favourite >= ?1 ORDER BY m.path, t.folded");
    if (!s)
        return out;
    sqlite3_bind_int(s, 1, favouritesOnly ? 1 : 0);
    while (sqlite3_step(s) == SQLITE_ROW) {
        std::string path = columnBytes(s, 0);
        if (out.empty() || out.back().path != path) {
            MarkedFile f;
            f.path = std::move(path);
            f.identity.device = std::uint64_t(sqlite3_column_int64(s, 1));
            f.identity.inode = std::uint64_t(sqlite3_column_int64(s, 2));
            f.identity.size = sqlite3_column_int64(s, 3);
            f.identity.modified = sqlite3_column_int64(s, 4);
            f.marks.favourite = sqlite3_column_int(s, 5) != 0;
            f.file = sqlite3_column_int64(s, 6);
            out.push_back(std::move(f));
        }
        if (sqlite3_column_type(s, 7) != SQLITE_NULL)
            out.back().marks.tags << columnText(s, 7);
    }
    sqlite3_reset(s);
    return out;
}

std::optional<MarkedFile> SqliteLibraryStore::markedByIdentity(const platform::FileIdentity& identity)
{
    std::optional<std::string> path;
    if (sqlite3_stmt* s = statement("SELECT path FROM marks WHERE device = ?1 AND inode = ?2 AND size = ?3 AND"
                                    " modified = ?4 ORDER BY id LIMIT 1")) {
        sqlite3_bind_int64(s, 1, sqlite3_int64(identity.device));
        sqlite3_bind_int64(s, 2, sqlite3_int64(identity.inode));
        sqlite3_bind_int64(s, 3, identity.size);
        sqlite3_bind_int64(s, 4, identity.modified);
        if (sqlite3_step(s) == SQLITE_ROW)
            path = columnBytes(s, 0);
        sqlite3_reset(s);
    }
    if (!path)
        return std::nullopt;
    MarkedFile f;
    f.path = *path;
    f.identity = identity;
    f.marks = marksOf(*path);
    return f;
}

std::optional<std::string> SqliteLibraryStore::indexedPathOf(const platform::FileIdentity& identity)
{
    // Rare (an import of a list written before files moved): the files are looked through.
    sqlite3_stmt* s = statement("SELECT r.path, d.path, f.name FROM files f JOIN folders d ON d.id = f.folder"
                                " JOIN roots r ON r.id = d.root WHERE f.device = ?1 AND f.inode = ?2 AND f.size = ?3"
                                " AND f.modified = ?4 AND f.missing = 0 LIMIT 1");
    if (!s)
        return std::nullopt;
    sqlite3_bind_int64(s, 1, sqlite3_int64(identity.device));
    sqlite3_bind_int64(s, 2, sqlite3_int64(identity.inode));
    sqlite3_bind_int64(s, 3, identity.size);
    sqlite3_bind_int64(s, 4, identity.modified);
    std::optional<std::string> out;
    if (sqlite3_step(s) == SQLITE_ROW) {
        const std::string folder = columnBytes(s, 1);
        out = columnBytes(s, 0) + "/" + (folder.empty() ? std::string() : folder + "/") + columnBytes(s, 2);
    }
    sqlite3_reset(s);
    return out;
}

#define TONFOLIO_MARKS_TO_MOVE "EXISTS (SELECT 1 FROM marks WHERE path = ?1 OR (path > ?3 AND path < ?4))"

bool SqliteLibraryStore::followMarks(const std::string& from, const std::string& to)
{
    if (from == to || from.empty() || to.empty())
        return true;
    SqlTransaction t(db());
    int rc = t.began();
    // A rename never replaces a file: marks left under the new name are stale. Applied twice, the
    // second finds nothing to move and leaves the marks moved by the first alone.
    rc = runInTurn(rc,
                   {"DELETE FROM tags WHERE mark IN (SELECT id FROM marks WHERE path = ?2 OR"
                    " (path > ?5 AND path < ?6)) AND " TONFOLIO_MARKS_TO_MOVE,
                    "DELETE FROM marks WHERE (path = ?2 OR (path > ?5 AND path < ?6)) AND " TONFOLIO_MARKS_TO_MOVE,
                    "UPDATE marks SET path = ?2 WHERE path = ?1",
                    "UPDATE marks SET path = CAST(?2 || substr(path, ?7) AS BLOB) WHERE path > ?3 AND path < ?4"},
                   [&](sqlite3_stmt* s) {
                       bindBytes(s, 1, from);
                       bindBytes(s, 2, to);
                       bindBelow(s, 3, from);
                       bindBelow(s, 5, to);
                       sqlite3_bind_int64(s, 7, sqlite3_int64(from.size() + 1));
                   });
    return !failed(commitChange(t, rc));
}

#undef TONFOLIO_MARKS_TO_MOVE

bool SqliteLibraryStore::forgetMarks(const std::string& path)
{
    SqlTransaction t(db());
    int rc = t.began();
    rc = runInTurn(
        rc,
        {"DELETE FROM tags WHERE mark IN (SELECT id FROM marks WHERE path = ?1)", "DELETE FROM marks WHERE path = ?1"},
        [&](sqlite3_stmt* s) { bindBytes(s, 1, path); });
    return !failed(commitChange(t, rc));
}

} // namespace library
