// SPDX-License-Identifier: GPL-3.0-or-later
// What the passes and the program's own file commands write to the SQLite library.
#include "library/sqlitelibrarystore.h"

#include <chrono>
#include <sqlite3.h>

namespace library {

using platform::bindBytes;
using platform::bindReal;
using platform::columnBytes;
using platform::columnReal;
using platform::DatabaseFile;
using platform::runOnce;
using platform::SqlTransaction;

namespace {

// Root states whose files cannot be reached now: pass two leaves them for later.
const char* const kRootReachable = "r.state NOT IN (3, 4)";

std::int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

/// Binds a file's size, time, identity and header to eleven parameters from `first`.
void bindFile(sqlite3_stmt* s, int first, const FileRecord& f)
{
    sqlite3_bind_int64(s, first, f.size);
    sqlite3_bind_int64(s, first + 1, f.modified);
    sqlite3_bind_int64(s, first + 2, sqlite3_int64(f.device));
    sqlite3_bind_int64(s, first + 3, sqlite3_int64(f.inode));
    const WaveHeader& h = f.header;
    sqlite3_bind_int64(s, first + 9, h.loops);
    const QByteArray description = h.description.toUtf8();
    sqlite3_bind_text(s, first + 10, description.constData(), int(description.size()), SQLITE_TRANSIENT);
    first += 4;
    if (!h.read) {
        for (int i = 0; i < 5; ++i)
            sqlite3_bind_null(s, first + i);
        return;
    }
    sqlite3_bind_int(s, first, h.formatTag);
    sqlite3_bind_int(s, first + 1, h.channels);
    sqlite3_bind_int(s, first + 2, h.bits);
    sqlite3_bind_int64(s, first + 3, h.rate);
    sqlite3_bind_double(s, first + 4, h.seconds);
}

/// Binds a folder and everything below it: ?1 root, ?2 the path, ?3 and ?4 the bounds of the paths
/// below it ('/' + 1 is '0'; below the root itself every path but "" lies, and no upper bound).
void bindSubtree(sqlite3_stmt* s, RootId root, const std::string& path)
{
    sqlite3_bind_int64(s, 1, root);
    bindBytes(s, 2, path);
    bindBytes(s, 3, path.empty() ? path : path + "/");
    if (!path.empty())
        bindBytes(s, 4, path + "0");
}

const char* const kSubtreeIds =
    "SELECT id FROM folders WHERE root = ?1 AND (path = ?2 OR (path > ?3 AND (?4 IS NULL OR path < ?4)))";

} // namespace

sqlite3_stmt* SqliteLibraryStore::statement(const char* sql)
{
    if (!db())
        return nullptr;
    auto& slot = statements_[sql];
    if (!slot || !slot->ok())
        slot = std::make_unique<platform::SqlStatement>(db(), sql);
    if (!slot->ok())
        return nullptr;
    sqlite3_reset(slot->get());
    sqlite3_clear_bindings(slot->get());
    return slot->get();
}

/// The error of a statement that could not be prepared, or of the last call.
static int lastError(sqlite3* db)
{
    const int rc = db ? sqlite3_errcode(db) : SQLITE_CANTOPEN;
    return rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_ERROR : rc;
}

int SqliteLibraryStore::runInTurn(int rc, std::initializer_list<const char*> sqls,
                                  const std::function<void(sqlite3_stmt*)>& bind)
{
    for (const char* sql : sqls) {
        if (rc != SQLITE_OK)
            break;
        sqlite3_stmt* s = statement(sql);
        if (!s)
            return lastError(db());
        bind(s);
        rc = runOnce(s);
    }
    return rc;
}

bool SqliteLibraryStore::writeFolders(RootId root, const std::vector<FolderWrite>& writes)
{
    SqlTransaction t(db());
    int rc = t.began();
    for (size_t i = 0; rc == SQLITE_OK && i < writes.size(); ++i)
        rc = writeFolder(root, writes[i]);
    return !failed(commitChange(t, rc));
}

int SqliteLibraryStore::writeFolder(RootId root, const FolderWrite& w)
{
    const std::optional<FolderId> id = folderId(root, w.path, true);
    if (!id)
        return lastError(db());
    sqlite3_stmt* s = statement("UPDATE folders SET modified = ?2, checked = ?3, gone = 0 WHERE id = ?1");
    if (!s)
        return lastError(db());
    sqlite3_bind_int64(s, 1, *id);
    sqlite3_bind_int64(s, 2, w.modified);
    sqlite3_bind_int64(s, 3, w.checked);
    int rc = runOnce(s);
    for (size_t i = 0; rc == SQLITE_OK && i < w.goneFolders.size(); ++i)
        rc = markFolderGone(root, w.goneFolders[i]);
    // Made here rather than looked up for every file: the same text as the folder's own words.
    const std::string folderText = w.upserts.empty() ? std::string() : folderWords(root, w.path);
    for (size_t i = 0; rc == SQLITE_OK && i < w.upserts.size(); ++i)
        rc = upsertFile(*id, folderText, w.upserts[i]);
    for (const auto& [ids, missing] : {std::make_pair(&w.missing, 1), std::make_pair(&w.found, 0)}) {
        for (size_t i = 0; rc == SQLITE_OK && i < ids->size(); ++i) {
            sqlite3_stmt* m = statement("UPDATE files SET missing = ?2 WHERE id = ?1");
            if (!m)
                return lastError(db());
            sqlite3_bind_int64(m, 1, (*ids)[i]);
            sqlite3_bind_int(m, 2, missing);
            rc = runOnce(m);
        }
    }
    return rc;
}

int SqliteLibraryStore::upsertFile(FolderId folder, const std::string& folderText, const FileRecord& f)
{
    // A file new to the walk is inserted without a look first; should the name be taken meanwhile (the
    // program renamed a file to it), that entry is brought up to date instead.
    std::optional<FileId> known = f.id ? std::optional<FileId>(f.id) : std::nullopt;
    int rc = SQLITE_OK;
    if (!known) {
        sqlite3_stmt* s = statement("INSERT INTO files(folder, name, size, modified, device, inode, format, channels,"
                                    " bits, rate, seconds, loops, description)"
                                    " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)");
        if (!s)
            return lastError(db());
        sqlite3_bind_int64(s, 1, folder);
        bindBytes(s, 2, f.name);
        bindFile(s, 3, f);
        rc = runOnce(s);
        if ((rc & 0xFF) == SQLITE_CONSTRAINT)
            known = fileId(folder, f.name);
        else if (rc != SQLITE_OK)
            return rc;
    }
    if (known) {
        sqlite3_stmt* s = statement("UPDATE files SET size = ?3, modified = ?4, device = ?5, inode = ?6, format = ?7,"
                                    " channels = ?8, bits = ?9, rate = ?10, seconds = ?11, loops = ?12, description = ?13,"
                                    " missing = 0 WHERE id = ?1");
        if (!s)
            return lastError(db());
        sqlite3_bind_int64(s, 1, *known);
        bindFile(s, 3, f);
        if ((rc = runOnce(s)) != SQLITE_OK)
            return rc;
        // A changed file is measured again; its words are made anew as its texts may have changed.
        rc = runInTurn(rc, {"DELETE FROM measures WHERE file = ?1", "DELETE FROM file_text WHERE id = ?1"},
                       [&](sqlite3_stmt* d) { sqlite3_bind_int64(d, 1, *known); });
        if (rc != SQLITE_OK)
            return rc;
    }
    // The words go into the index behind the pass (indexWords).
    sqlite3_stmt* words = statement("INSERT INTO file_text(id, words, folder) VALUES(?1, ?2, ?3)");
    if (!words)
        return lastError(db());
    const std::string text = fileWords(f.name, f.texts);
    sqlite3_bind_int64(words, 1, known ? *known : sqlite3_last_insert_rowid(db()));
    sqlite3_bind_text(words, 2, text.data(), int(text.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(words, 3, folderText.data(), int(folderText.size()), SQLITE_STATIC);
    return runOnce(words);
}

int SqliteLibraryStore::markFolderGone(RootId root, const std::string& path)
{
    // Its files are missing until the pass ends; the folder is listed anew should it come back.
    return runInTurn(SQLITE_OK,
                     {"UPDATE files SET missing = 1 WHERE folder IN (SELECT id FROM folders WHERE root = ?1"
                      " AND (path = ?2 OR (path > ?3 AND (?4 IS NULL OR path < ?4))))",
                      "UPDATE folders SET gone = 1, modified = 0 WHERE root = ?1 AND (path = ?2 OR"
                      " (path > ?3 AND (?4 IS NULL OR path < ?4)))"},
                     [&](sqlite3_stmt* s) { bindSubtree(s, root, path); });
}

std::int64_t SqliteLibraryStore::goneFolders(RootId root)
{
    sqlite3_stmt* s = statement("SELECT count(*) FROM folders WHERE root = ?1 AND gone = 1");
    std::int64_t n = 0;
    if (s) {
        sqlite3_bind_int64(s, 1, root);
        if (sqlite3_step(s) == SQLITE_ROW)
            n = sqlite3_column_int64(s, 0);
        sqlite3_reset(s);
    }
    return n;
}

RootCounts SqliteLibraryStore::counts(RootId root)
{
    RootCounts c;
    // Both counts from indexes alone: a pass ends by counting, and a library folder may hold a million.
    sqlite3_stmt* s = statement("SELECT (SELECT count(*) FROM files WHERE folder IN (SELECT id FROM folders WHERE"
                                " root = ?1)), (SELECT count(*) FROM files WHERE missing = 1 AND folder IN"
                                " (SELECT id FROM folders WHERE root = ?1))");
    if (!s)
        return c;
    sqlite3_bind_int64(s, 1, root);
    if (sqlite3_step(s) == SQLITE_ROW) {
        c.files = sqlite3_column_int64(s, 0);
        c.missing = sqlite3_column_int64(s, 1);
    }
    sqlite3_reset(s);
    return c;
}

bool SqliteLibraryStore::finishPass(RootId root, bool keepMissing, RootState state, const QString& status)
{
    SqlTransaction t(db());
    int rc = t.began();
    // Counted once: what is dropped is exactly the files missing.
    const RootCounts counted = rc == SQLITE_OK ? counts(root) : RootCounts();
    std::int64_t files = counted.files;
    if (rc == SQLITE_OK && !keepMissing && counted.missing + goneFolders(root) > 0) {
        files -= counted.missing;
        rc = dropFiles("SELECT f.id FROM files f JOIN folders d ON d.id = f.folder WHERE d.root = ?1 AND f.missing = 1",
                       root);
        rc = runInTurn(rc,
                       {"DELETE FROM folder_text WHERE id IN (SELECT id FROM folders WHERE root = ?1 AND gone = 1)",
                        "DELETE FROM folders WHERE root = ?1 AND gone = 1"},
                       [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, root); });
    }
    sqlite3_stmt* s = rc == SQLITE_OK
                          ? statement("UPDATE roots SET state = ?2, status = ?3, indexed = ?4, full_check = 0,"
                                      " files = ?5 WHERE id = ?1")
                          : nullptr;
    if (s) {
        sqlite3_bind_int64(s, 1, root);
        sqlite3_bind_int(s, 2, int(state));
        const QByteArray text = status.toUtf8();
        sqlite3_bind_text(s, 3, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(s, 4, nowMs());
        sqlite3_bind_int64(s, 5, files);
        rc = runOnce(s);
    } else if (rc == SQLITE_OK)
        rc = lastError(db());
    return !failed(commitChange(t, rc));
}

std::vector<Unmeasured> SqliteLibraryStore::unmeasured(FileId after, int limit)
{
    std::vector<Unmeasured> out;
    static const std::string sql =
        std::string("SELECT f.id, r.path, d.path, f.name, f.size, f.modified, f.device, f.inode FROM files f"
                    " JOIN folders d ON d.id = f.folder JOIN roots r ON r.id = d.root"
                    " WHERE f.id > ?1 AND f.missing = 0 AND ") +
        kRootReachable + " AND NOT EXISTS (SELECT 1 FROM measures m WHERE m.file = f.id) ORDER BY f.id LIMIT ?2";
    sqlite3_stmt* s = statement(sql.c_str());
    if (!s)
        return out;
    sqlite3_bind_int64(s, 1, after);
    sqlite3_bind_int(s, 2, limit);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        Unmeasured u;
        u.id = sqlite3_column_int64(s, 0);
        u.path = filePath(columnBytes(s, 1), columnBytes(s, 2), columnBytes(s, 3));
        u.size = sqlite3_column_int64(s, 4);
        u.modified = sqlite3_column_int64(s, 5);
        u.device = std::uint64_t(sqlite3_column_int64(s, 6));
        u.inode = std::uint64_t(sqlite3_column_int64(s, 7));
        out.push_back(std::move(u));
    }
    sqlite3_reset(s);
    failed(rc == SQLITE_DONE ? SQLITE_OK : rc);
    return out;
}

std::int64_t SqliteLibraryStore::unmeasuredCount()
{
    static const std::string sql = std::string("SELECT count(*) FROM files f JOIN folders d ON d.id = f.folder"
                                               " JOIN roots r ON r.id = d.root WHERE f.missing = 0 AND ") +
                                   kRootReachable + " AND NOT EXISTS (SELECT 1 FROM measures m WHERE m.file = f.id)";
    std::int64_t n = 0;
    if (db())
        platform::DatabaseFile::queryInt(db(), sql.c_str(), n);
    return n;
}

std::int64_t SqliteLibraryStore::indexWords(int limit)
{
    SqlTransaction t(db());
    int rc = t.began();
    // The index of a trigram is built from the files' words in id order: each batch adds to its end.
    rc = runInTurn(rc,
                   {"INSERT INTO file_words(rowid, words, folder) SELECT id, words, folder FROM file_text"
                    " WHERE indexed = 0 ORDER BY id LIMIT ?1",
                    "UPDATE file_text SET indexed = 1 WHERE id IN (SELECT id FROM file_text WHERE indexed = 0"
                    " ORDER BY id LIMIT ?1)"},
                   [&](sqlite3_stmt* s) { sqlite3_bind_int(s, 1, limit); });
    // Those the last statement marked.
    const std::int64_t taken = rc == SQLITE_OK ? sqlite3_changes(db()) : 0;
    // Nothing a search finds changes: no change is counted.
    if (rc == SQLITE_OK)
        rc = t.commit();
    return failed(rc) ? -1 : taken;
}

bool SqliteLibraryStore::wordsWaiting()
{
    std::int64_t waiting = 0;
    return db() &&
           DatabaseFile::queryInt(db(), "SELECT EXISTS (SELECT 1 FROM file_text WHERE indexed = 0)", waiting) ==
               SQLITE_OK &&
           waiting != 0;
}

bool SqliteLibraryStore::putMeasures(const std::vector<MeasuredFile>& measures)
{
    SqlTransaction t(db());
    int rc = t.began();
    for (size_t i = 0; rc == SQLITE_OK && i < measures.size(); ++i) {
        const MeasuredFile& f = measures[i];
        sqlite3_stmt* s = statement("INSERT OR REPLACE INTO measures(file, loudness, peak, tempo, pitch, key, decoded)"
                                    " SELECT ?1, ?2, ?3, ?4, ?5, ?6, ?7 WHERE EXISTS"
                                    " (SELECT 1 FROM files WHERE id = ?1 AND size = ?8 AND modified = ?9)");
        if (!s) {
            rc = lastError(db());
            break;
        }
        sqlite3_bind_int64(s, 1, f.id);
        bindReal(s, 2, f.measures.loudness);
        bindReal(s, 3, f.measures.peak);
        bindReal(s, 4, f.measures.tempo);
        bindReal(s, 5, f.measures.pitch);
        if (f.measures.key)
            sqlite3_bind_int(s, 6, f.measures.key->tonic + (f.measures.key->minor ? 12 : 0));
        sqlite3_bind_int(s, 7, f.measures.decoded ? 1 : 0);
        sqlite3_bind_int64(s, 8, f.size);
        sqlite3_bind_int64(s, 9, f.modified);
        rc = runOnce(s);
        if (rc == SQLITE_OK && sqlite3_changes(db()) > 0)
            rc = putFeatures(f.id, f.measures.features);
    }
    return !failed(commitChange(t, rc));
}

int SqliteLibraryStore::putFeatures(FileId file, const std::optional<SoundFeatures>& features)
{
    sqlite3_stmt* s = features ? statement("INSERT OR REPLACE INTO sound_features(file, features) VALUES(?1, ?2)")
                               : statement("DELETE FROM sound_features WHERE file = ?1");
    if (!s)
        return lastError(db());
    sqlite3_bind_int64(s, 1, file);
    if (features)
        bindBytes(s, 2, featureBytes(*features));
    return runOnce(s);
}

std::optional<FileMeasures> SqliteLibraryStore::measures(FileId file)
{
    sqlite3_stmt* s = statement("SELECT loudness, peak, tempo, pitch, key, decoded FROM measures WHERE file = ?1");
    if (!s)
        return std::nullopt;
    sqlite3_bind_int64(s, 1, file);
    std::optional<FileMeasures> out;
    if (sqlite3_step(s) == SQLITE_ROW)
        out = measuresAt(s, 0);
    sqlite3_reset(s);
    if (out)
        out->features = featuresOf(file);
    return out;
}

FileMeasures SqliteLibraryStore::measuresAt(sqlite3_stmt* s, int first)
{
    FileMeasures m;
    m.loudness = columnReal(s, first);
    m.peak = columnReal(s, first + 1);
    m.tempo = columnReal(s, first + 2);
    m.pitch = columnReal(s, first + 3);
    if (sqlite3_column_type(s, first + 4) != SQLITE_NULL) {
        const int code = sqlite3_column_int(s, first + 4);
        if (code >= 0 && code < 24)
            m.key = MusicalKey{code % 12, code >= 12};
    }
    m.decoded = sqlite3_column_int(s, first + 5) != 0;
    return m;
}

bool SqliteLibraryStore::renameFile(RootId root, const std::string& folder, const std::string& name,
                                    const std::string& newName)
{
    SqlTransaction t(db());
    int rc = t.began();
    const std::optional<FolderId> dir = rc == SQLITE_OK ? folderId(root, folder, false) : std::nullopt;
    const std::optional<FileId> id = dir ? fileId(*dir, name) : std::nullopt;
    if (!id)
        return rc == SQLITE_OK || !failed(rc);
    // An entry the new name had is stale: a rename never replaces a file.
    if (const std::optional<FileId> stale = fileId(*dir, newName))
        rc = dropFiles("SELECT ?1", *stale);
    // The words keep the file's texts after its name.
    std::string words;
    if (sqlite3_stmt* s = rc == SQLITE_OK ? statement("SELECT words FROM file_text WHERE id = ?1") : nullptr) {
        sqlite3_bind_int64(s, 1, *id);
        if (sqlite3_step(s) == SQLITE_ROW)
            words = columnBytes(s, 0);
        sqlite3_reset(s);
    }
    const size_t texts = words.find('\n');
    words = texts == std::string::npos ? fileWords(newName, {}) : searchFoldedBytes(newName) + words.substr(texts);
    // Changed in place, the words stay in the index (the update's trigger).
    rc = runInTurn(rc,
                   {"UPDATE files SET name = ?2 WHERE id = ?1",
                    "INSERT INTO file_text(id, words, folder) VALUES(?1, ?3, ifnull((SELECT w.words FROM"
                    " folder_text w JOIN files f ON w.id = f.folder WHERE f.id = ?1), ''))"
                    " ON CONFLICT(id) DO UPDATE SET words = excluded.words"},
                   [&](sqlite3_stmt* s) {
                       sqlite3_bind_int64(s, 1, *id);
                       bindBytes(s, 2, newName);
                       sqlite3_bind_text(s, 3, words.data(), int(words.size()), SQLITE_TRANSIENT);
                   });
    return !failed(commitChange(t, rc));
}

bool SqliteLibraryStore::moveFile(RootId root, const std::string& folder, const std::string& name, RootId toRoot,
                                  const std::string& toFolder)
{
    SqlTransaction t(db());
    int rc = t.began();
    const std::optional<FolderId> dir = rc == SQLITE_OK ? folderId(root, folder, false) : std::nullopt;
    const std::optional<FileId> id = dir ? fileId(*dir, name) : std::nullopt;
    if (!id)
        return rc == SQLITE_OK || !failed(rc);
    // A folder not indexed yet is made, to be listed by the next pass.
    const std::optional<FolderId> to = folderId(toRoot, toFolder, true);
    if (!to)
        rc = lastError(db());
    if (rc == SQLITE_OK)
        if (const std::optional<FileId> stale = fileId(*to, name))
            rc = dropFiles("SELECT ?1", *stale);
    // The file's words take its new folder's.
    rc = runInTurn(rc,
                   {"UPDATE files SET folder = ?2 WHERE id = ?1",
                    "UPDATE file_text SET folder = ifnull((SELECT words FROM folder_text WHERE id = ?2), '')"
                    " WHERE id = ?1"},
                   [&](sqlite3_stmt* s) {
                       sqlite3_bind_int64(s, 1, *id);
                       sqlite3_bind_int64(s, 2, *to);
                   });
    return !failed(commitChange(t, rc));
}

bool SqliteLibraryStore::removeFile(RootId root, const std::string& folder, const std::string& name)
{
    SqlTransaction t(db());
    int rc = t.began();
    const std::optional<FolderId> dir = rc == SQLITE_OK ? folderId(root, folder, false) : std::nullopt;
    const std::optional<FileId> id = dir ? fileId(*dir, name) : std::nullopt;
    if (!id)
        return rc == SQLITE_OK || !failed(rc);
    rc = dropFiles("SELECT ?1", *id);
    return !failed(commitChange(t, rc));
}

bool SqliteLibraryStore::invalidateFolder(RootId root, const std::string& folder)
{
    SqlTransaction t(db());
    int rc = t.began();
    sqlite3_stmt* s =
        rc == SQLITE_OK ? statement("UPDATE folders SET modified = 0 WHERE root = ?1 AND path = ?2") : nullptr;
    if (s) {
        sqlite3_bind_int64(s, 1, root);
        bindBytes(s, 2, folder);
        rc = runOnce(s);
    } else if (rc == SQLITE_OK)
        rc = lastError(db());
    if (rc == SQLITE_OK)
        rc = t.commit();
    return !failed(rc);
}

bool SqliteLibraryStore::removeFolder(RootId root, const std::string& folder)
{
    SqlTransaction t(db());
    int rc = t.began();
    // dropFiles binds only ?1, so the subtree's ids are found first.
    std::vector<std::int64_t> ids;
    if (sqlite3_stmt* s = rc == SQLITE_OK ? statement(kSubtreeIds) : nullptr) {
        bindSubtree(s, root, folder);
        while (sqlite3_step(s) == SQLITE_ROW)
            ids.push_back(sqlite3_column_int64(s, 0));
        sqlite3_reset(s);
    }
    for (size_t i = 0; rc == SQLITE_OK && i < ids.size(); ++i) {
        rc = dropFiles("SELECT id FROM files WHERE folder = ?1", ids[i]);
        rc = runInTurn(rc, {"DELETE FROM folder_text WHERE id = ?1", "DELETE FROM folders WHERE id = ?1"},
                       [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, ids[i]); });
    }
    return !failed(commitChange(t, rc));
}

} // namespace library
