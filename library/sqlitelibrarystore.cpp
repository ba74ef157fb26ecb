// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/sqlitelibrarystore.h"

#include "library/librarylog.h"
#include "library/sqlsearch.h"

#include <QDir>
#include <sqlite3.h>

namespace library {

using platform::bindBytes;
using platform::columnBytes;
using platform::DatabaseFile;
using platform::runOnce;
using platform::SqlStatement;
using platform::SqlTransaction;

namespace {

std::string lastComponent(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parentOf(const std::string& relative)
{
    const size_t slash = relative.rfind('/');
    return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

} // namespace

std::string SqliteLibraryStore::defaultFile()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + "/.local/share";
    return (base + "/tonfolio/library.sqlite").toStdString();
}

SqliteLibraryStore::SqliteLibraryStore(std::string file)
    : file_(DatabaseFile::placeFile(file.empty() ? defaultFile() : std::move(file))), database_(file_, schema())
{
    open();
}

SqliteLibraryStore::~SqliteLibraryStore() = default;

void SqliteLibraryStore::tell(const QString& text)
{
    qCWarning(lcLibrary).noquote() << text;
    untold_ = text;
}

QString SqliteLibraryStore::takeNotice()
{
    return std::exchange(untold_, QString());
}

void SqliteLibraryStore::open()
{
    const QString name = QString::fromStdString(file_);
    switch (database_.open()) {
    case DatabaseFile::Opening::Usable:
        break;
    case DatabaseFile::Opening::SetAside:
        rebuild();
        break;
    case DatabaseFile::Opening::Newer:
        tell(QStringLiteral("The library %1 was made by a newer Tonfolio; it is left as it is and not used").arg(name));
        break;
    case DatabaseFile::Opening::Unavailable:
        tell(QStringLiteral("The library %1 cannot be used now (%2)")
                 .arg(name, QString::fromUtf8(sqlite3_errstr(database_.failure()))));
        break;
    }
    // The indexes of a large library outgrow the default 2 MB of pages in memory while a pass writes.
    // A pass writes tens of MB: the log is folded into the file every 40 MB instead of every 4 MB, so
    // the pages a pass writes again and again reach the file once a fold, and the disk the pass reads
    // from is waited on once instead of ten times.
    if (!db())
        return;
    sqlite3_exec(db(), "PRAGMA cache_size=-16384; PRAGMA wal_autocheckpoint=10000", nullptr, nullptr, nullptr);
    // The full-text index merges its segments less eagerly than by default (4): a first pass writes
    // each folder's words once instead of rewriting them through many merges, and a search still meets
    // few segments. Set once, in the file.
    std::int64_t set = 0;
    if (DatabaseFile::queryInt(db(), "SELECT count(*) FROM file_words_config WHERE k = 'automerge'", set) ==
            SQLITE_OK &&
        set == 0)
        sqlite3_exec(db(), "INSERT INTO file_words(file_words, rank) VALUES('automerge', 8)", nullptr, nullptr,
                     nullptr);
}

void SqliteLibraryStore::rebuild()
{
    // What can still be read of the library folders is carried over: the user chose them.
    std::vector<std::pair<std::string, std::string>> kept;
    statements_.clear();
    {
        sqlite3* raw = nullptr;
        if (sqlite3_open_v2(file_.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW, nullptr) == SQLITE_OK) {
            std::int64_t appId = 0;
            if (DatabaseFile::queryInt(raw, "PRAGMA application_id", appId) == SQLITE_OK &&
                appId == schema().applicationId) {
                SqlStatement s(raw, "SELECT path, mount FROM roots");
                while (s.ok() && sqlite3_step(s.get()) == SQLITE_ROW)
                    kept.emplace_back(columnBytes(s.get(), 0), columnBytes(s.get(), 1));
            }
        }
        sqlite3_close_v2(raw);
    }
    database_.setAside();
    rootNames_.clear();
    const QString name = QString::fromStdString(file_);
    if (database_.open() != DatabaseFile::Opening::Usable) {
        tell(QStringLiteral("The library %1 was damaged and cannot be made anew (%2)")
                 .arg(name, QString::fromUtf8(sqlite3_errstr(database_.failure()))));
        return;
    }
    for (const auto& [path, mount] : kept)
        addRoot(path, mount);
    tell(QStringLiteral("The library %1 was damaged or not Tonfolio's; it was set aside as %1.damaged and is "
                        "indexed anew%2")
             .arg(name, kept.empty() ? QString() : QStringLiteral(" (%1 library folders kept)").arg(kept.size())));
}

bool SqliteLibraryStore::failed(int rc)
{
    if (rc == SQLITE_OK)
        return false;
    if (DatabaseFile::isDamage(rc))
        rebuild();
    else if (!DatabaseFile::isBusy(rc))
        qCWarning(lcLibrary) << "library database:" << sqlite3_errstr(rc);
    return true;
}

int SqliteLibraryStore::bumpChanges()
{
    return DatabaseFile::exec(db(), "UPDATE changes SET count = count + 1");
}

int SqliteLibraryStore::commitChange(SqlTransaction& t, int rc)
{
    if (rc == SQLITE_OK)
        rc = bumpChanges();
    if (rc == SQLITE_OK)
        rc = t.commit();
    return rc;
}

std::int64_t SqliteLibraryStore::changeCount()
{
    std::int64_t count = -1;
    if (db())
        DatabaseFile::queryInt(db(), "SELECT count FROM changes", count);
    return count;
}

std::optional<RootId> SqliteLibraryStore::addRoot(const std::string& path, const std::string& mount)
{
    SqlTransaction t(db());
    if (failed(t.began()))
        return std::nullopt;
    SqlStatement insert(db(), "INSERT INTO roots(path, mount) VALUES(?1, ?2) ON CONFLICT(path) DO NOTHING");
    bindBytes(insert.get(), 1, path);
    bindBytes(insert.get(), 2, mount);
    int rc = insert.ok() ? runOnce(insert.get()) : insert.prepareCode();
    std::int64_t id = 0;
    SqlStatement find(db(), "SELECT id FROM roots WHERE path = ?1");
    if (rc == SQLITE_OK && find.ok()) {
        bindBytes(find.get(), 1, path);
        rc = sqlite3_step(find.get()) == SQLITE_ROW ? SQLITE_OK : SQLITE_ERROR;
        id = sqlite3_column_int64(find.get(), 0);
    }
    rc = commitChange(t, rc);
    if (failed(rc))
        return std::nullopt;
    rootNames_.erase(id);
    return id;
}

bool SqliteLibraryStore::removeRoot(RootId root)
{
    SqlTransaction t(db());
    int rc = t.began();
    if (rc == SQLITE_OK)
        rc = dropFiles("SELECT f.id FROM files f JOIN folders d ON d.id = f.folder WHERE d.root = ?1", root);
    for (const char* sql : {"DELETE FROM folder_text WHERE id IN (SELECT id FROM folders WHERE root = ?1)",
                            "DELETE FROM folders WHERE root = ?1", "DELETE FROM roots WHERE id = ?1"}) {
        SqlStatement s(db(), sql);
        if (rc == SQLITE_OK && s.ok()) {
            sqlite3_bind_int64(s.get(), 1, root);
            rc = runOnce(s.get());
        }
    }
    rc = commitChange(t, rc);
    rootNames_.erase(root);
    return !failed(rc);
}

int SqliteLibraryStore::dropFiles(const char* whereIds, std::int64_t key)
{
    // The words and measures go with the files, by the same ids.
    int rc = SQLITE_OK;
    for (const char* table : {"file_text WHERE id", "measures WHERE file", "files WHERE id"}) {
        SqlStatement s(db(), std::string("DELETE FROM ") + table + " IN (" + whereIds + ")");
        if (!s.ok())
            return s.prepareCode();
        sqlite3_bind_int64(s.get(), 1, key);
        if ((rc = runOnce(s.get())) != SQLITE_OK)
            return rc;
    }
    return rc;
}

std::vector<LibraryRoot> SqliteLibraryStore::roots()
{
    std::vector<LibraryRoot> out;
    if (!db())
        return out;
    SqlStatement s(db(),
                   "SELECT id, path, mount, state, status, indexed, round, full_check, files FROM roots ORDER BY path");
    int rc = s.ok() ? SQLITE_OK : s.prepareCode();
    while (rc == SQLITE_OK && (rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        rc = SQLITE_OK;
        LibraryRoot r;
        r.id = sqlite3_column_int64(s.get(), 0);
        r.path = columnBytes(s.get(), 1);
        r.mount = columnBytes(s.get(), 2);
        r.state = RootState(sqlite3_column_int(s.get(), 3));
        r.status = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 4)));
        r.indexedAt = sqlite3_column_int64(s.get(), 5);
        r.round = sqlite3_column_int64(s.get(), 6);
        r.fullCheck = sqlite3_column_int(s.get(), 7) != 0;
        r.files = sqlite3_column_int64(s.get(), 8);
        out.push_back(std::move(r));
    }
    failed(rc == SQLITE_DONE ? SQLITE_OK : rc);
    return out;
}

bool SqliteLibraryStore::setRootState(RootId root, RootState state, const QString& status)
{
    SqlTransaction t(db());
    int rc = t.began();
    SqlStatement s(db(), "UPDATE roots SET state = ?2, status = ?3 WHERE id = ?1");
    if (rc == SQLITE_OK && s.ok()) {
        sqlite3_bind_int64(s.get(), 1, root);
        sqlite3_bind_int(s.get(), 2, int(state));
        const QByteArray text = status.toUtf8();
        sqlite3_bind_text(s.get(), 3, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        rc = runOnce(s.get());
    }
    return !failed(commitChange(t, rc));
}

bool SqliteLibraryStore::beginFullCheck(RootId root)
{
    SqlTransaction t(db());
    int rc = t.began();
    SqlStatement s(db(), "UPDATE roots SET round = round + 1, full_check = 1 WHERE id = ?1 AND full_check = 0");
    if (rc == SQLITE_OK && s.ok()) {
        sqlite3_bind_int64(s.get(), 1, root);
        rc = runOnce(s.get());
    }
    if (rc == SQLITE_OK)
        rc = t.commit();
    return !failed(rc);
}

std::vector<FolderRecord> SqliteLibraryStore::folders(RootId root)
{
    std::vector<FolderRecord> out;
    if (!db())
        return out;
    SqlStatement s(
        db(), "SELECT id, ifnull(parent, 0), path, modified, checked, gone FROM folders WHERE root = ?1 ORDER BY path");
    int rc = s.ok() ? SQLITE_OK : s.prepareCode();
    if (rc == SQLITE_OK)
        sqlite3_bind_int64(s.get(), 1, root);
    while (rc == SQLITE_OK && (rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        rc = SQLITE_OK;
        FolderRecord f;
        f.id = sqlite3_column_int64(s.get(), 0);
        f.parent = sqlite3_column_int64(s.get(), 1);
        f.path = columnBytes(s.get(), 2);
        f.modified = sqlite3_column_int64(s.get(), 3);
        f.checked = sqlite3_column_int64(s.get(), 4);
        f.gone = sqlite3_column_int(s.get(), 5) != 0;
        out.push_back(std::move(f));
    }
    failed(rc == SQLITE_DONE ? SQLITE_OK : rc);
    return out;
}

std::vector<StoredFile> SqliteLibraryStore::filesIn(FolderId folder)
{
    std::vector<StoredFile> out;
    sqlite3_stmt* s = statement("SELECT id, name, size, modified, inode, missing FROM files WHERE folder = ?1");
    if (!s)
        return out;
    sqlite3_bind_int64(s, 1, folder);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        StoredFile f;
        f.id = sqlite3_column_int64(s, 0);
        f.name = columnBytes(s, 1);
        f.size = sqlite3_column_int64(s, 2);
        f.modified = sqlite3_column_int64(s, 3);
        f.inode = std::uint64_t(sqlite3_column_int64(s, 4));
        f.missing = sqlite3_column_int(s, 5) != 0;
        out.push_back(std::move(f));
    }
    sqlite3_reset(s);
    failed(rc == SQLITE_DONE ? SQLITE_OK : rc);
    return out;
}

std::string SqliteLibraryStore::folderWords(RootId root, const std::string& path)
{
    auto it = rootNames_.find(root);
    if (it == rootNames_.end()) {
        SqlStatement s(db(), "SELECT path FROM roots WHERE id = ?1");
        std::string rootPath;
        if (s.ok()) {
            sqlite3_bind_int64(s.get(), 1, root);
            if (sqlite3_step(s.get()) == SQLITE_ROW)
                rootPath = columnBytes(s.get(), 0);
        }
        it = rootNames_.emplace(root, lastComponent(rootPath)).first;
    }
    // The library folder's own name counts, the folders above it do not: "home" would find everything.
    const std::string text = path.empty() ? it->second : it->second + "/" + path;
    return searchFoldedBytes(text) + "\n";
}

std::optional<FolderId> SqliteLibraryStore::folderId(RootId root, const std::string& path, bool make)
{
    if (sqlite3_stmt* s = statement("SELECT id FROM folders WHERE root = ?1 AND path = ?2")) {
        sqlite3_bind_int64(s, 1, root);
        bindBytes(s, 2, path);
        const bool found = sqlite3_step(s) == SQLITE_ROW;
        const FolderId id = sqlite3_column_int64(s, 0);
        sqlite3_reset(s);
        if (found)
            return id;
    }
    if (!make)
        return std::nullopt;
    std::optional<FolderId> parent;
    if (!path.empty() && !(parent = folderId(root, parentOf(path), true)))
        return std::nullopt;
    sqlite3_stmt* insert = statement("INSERT INTO folders(root, parent, path) VALUES(?1, ?2, ?3)");
    if (!insert)
        return std::nullopt;
    sqlite3_bind_int64(insert, 1, root);
    if (parent)
        sqlite3_bind_int64(insert, 2, *parent);
    bindBytes(insert, 3, path);
    if (runOnce(insert) != SQLITE_OK)
        return std::nullopt;
    const FolderId id = sqlite3_last_insert_rowid(db());
    const std::string text = folderWords(root, path);
    sqlite3_stmt* words = statement("INSERT INTO folder_text(id, words) VALUES(?1, ?2)");
    if (!words)
        return std::nullopt;
    sqlite3_bind_int64(words, 1, id);
    sqlite3_bind_text(words, 2, text.data(), int(text.size()), SQLITE_TRANSIENT);
    if (runOnce(words) != SQLITE_OK)
        return std::nullopt;
    return id;
}

std::optional<FileId> SqliteLibraryStore::fileId(FolderId folder, const std::string& name)
{
    sqlite3_stmt* s = statement("SELECT id FROM files WHERE folder = ?1 AND name = ?2");
    if (!s)
        return std::nullopt;
    sqlite3_bind_int64(s, 1, folder);
    bindBytes(s, 2, name);
    std::optional<FileId> id;
    if (sqlite3_step(s) == SQLITE_ROW)
        id = sqlite3_column_int64(s, 0);
    sqlite3_reset(s);
    return id;
}

namespace {

/// Binds a statement's values; the first error.
int bindAll(sqlite3_stmt* s, const std::vector<SqlValue>& values)
{
    int rc = SQLITE_OK;
    for (size_t i = 0; rc == SQLITE_OK && i < values.size(); ++i) {
        const SqlValue& v = values[i];
        const int n = int(i + 1);
        if (v.kind == SqlValue::Kind::Text)
            rc = sqlite3_bind_text(s, n, v.text.data(), int(v.text.size()), SQLITE_TRANSIENT);
        else if (v.kind == SqlValue::Kind::Real)
            rc = sqlite3_bind_double(s, n, v.real);
        else
            rc = sqlite3_bind_int64(s, n, v.integer);
    }
    return rc;
}

// Below this many files meeting the conditions, a search with words takes those files first; from
// the second on, it looks at each row's measures along the rows the words found.
constexpr int kFewMeasured = 4000;
constexpr int kManyMeasured = 100000;

} // namespace

SearchResult SqliteLibraryStore::search(const SearchQuery& query, const SearchOrder& order, int limit)
{
    SearchResult out;
    if (!db()) {
        out.failed = true;
        return out;
    }
    int rc = SQLITE_OK;
    // Words with a narrow condition ("kick bpm:12" on the way to "bpm:120-130"): the words' rows would
    // all be looked at to find the few, so the few are found first.
    MeasuredShare share = MeasuredShare::Some;
    if (!query.conditions.empty() && !query.words.empty()) {
        const SearchSql count = sqliteMeasuredCountSql(query, kManyMeasured);
        SqlStatement c(db(), count.sql);
        rc = c.ok() ? bindAll(c.get(), count.values) : c.prepareCode();
        if (rc == SQLITE_OK && (rc = sqlite3_step(c.get())) == SQLITE_ROW) {
            const int n = sqlite3_column_int(c.get(), 0);
            share = n < kFewMeasured    ? MeasuredShare::Few
                    : n < kManyMeasured ? MeasuredShare::Some
                                        : MeasuredShare::Many;
            rc = SQLITE_OK;
        }
    }
    const bool wordsIndexed = query.words.empty() || !wordsWaiting();
    // A word of two characters is any of the trigrams that start with it.
    std::map<std::string, std::vector<std::string>> pairs;
    for (const std::string& word : query.words) {
        if (rc != SQLITE_OK || !wordsIndexed || characterCount(word) != 2 || pairs.count(word))
            continue;
        std::vector<std::string>& terms = pairs[word];
        SqlStatement t(db(), "SELECT term FROM file_trigrams WHERE term >= ?1 AND term <= ?1 || char(1114111)");
        rc = t.ok() ? SQLITE_OK : t.prepareCode();
        if (rc == SQLITE_OK)
            sqlite3_bind_text(t.get(), 1, word.data(), int(word.size()), SQLITE_TRANSIENT);
        while (rc == SQLITE_OK && (rc = sqlite3_step(t.get())) == SQLITE_ROW) {
            rc = SQLITE_OK;
            terms.push_back(columnBytes(t.get(), 0));
        }
        rc = rc == SQLITE_DONE ? SQLITE_OK : rc;
    }
    // One row more than asked tells whether there are more.
    const SearchSql sql = sqliteSearchSql(query, order, limit + 1, share, pairs, wordsIndexed);
    SqlStatement s(db(), sql.sql);
    if (rc == SQLITE_OK)
        rc = s.ok() ? bindAll(s.get(), sql.values) : s.prepareCode();
    while (rc == SQLITE_OK && (rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        rc = SQLITE_OK;
        if (int(out.rows.size()) == limit) {
            out.more = true;
            break;
        }
        out.rows.push_back(rowAt(s.get()));
    }
    if (rc != SQLITE_OK && rc != SQLITE_DONE) {
        out.rows.clear();
        out.failed = true;
        failed(rc);
    }
    return out;
}

SearchRow SqliteLibraryStore::rowAt(sqlite3_stmt* s)
{
    SearchRow r;
    r.id = sqlite3_column_int64(s, 0);
    r.root = sqlite3_column_int64(s, 1);
    r.rootPath = columnBytes(s, 2);
    r.folder = columnBytes(s, 3);
    r.name = columnBytes(s, 4);
    r.size = sqlite3_column_int64(s, 5);
    r.modified = sqlite3_column_int64(s, 6);
    r.header.read = sqlite3_column_type(s, 7) != SQLITE_NULL;
    if (r.header.read) {
        r.header.formatTag = std::uint16_t(sqlite3_column_int(s, 7));
        r.header.channels = std::uint16_t(sqlite3_column_int(s, 8));
        r.header.bits = std::uint16_t(sqlite3_column_int(s, 9));
        r.header.rate = std::uint32_t(sqlite3_column_int64(s, 10));
        r.header.seconds = sqlite3_column_double(s, 11);
    }
    r.header.loops = std::uint32_t(sqlite3_column_int64(s, 22));
    r.header.description = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 23)));
    if (sqlite3_column_int(s, 18))
        r.measures = measuresAt(s, 12);
    const auto state = RootState(sqlite3_column_int(s, 20));
    r.availability = state == RootState::Offline || state == RootState::Unreachable ? Availability::Offline
                     : sqlite3_column_int(s, 19)                                    ? Availability::Missing
                                                                                    : Availability::Present;
    r.favourite = sqlite3_column_int(s, 21) != 0;
    return r;
}

std::string filePath(const std::string& root, const std::string& folder, const std::string& name)
{
    std::string p = root;
    if (!folder.empty())
        p += "/" + folder;
    return p + "/" + name;
}

std::string SearchRow::folderPath() const
{
    return folder.empty() ? rootPath + "/" : rootPath + "/" + folder + "/";
}

std::string SearchRow::path() const
{
    return folderPath() + name;
}

} // namespace library
