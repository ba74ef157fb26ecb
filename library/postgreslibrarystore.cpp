// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/postgreslibrarystore.h"

#include "library/librarylog.h"

#include <utility>

namespace library {

using platform::PgParams;

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

/// The folders of a subtree: $1 root, $2 the path, $3 and $4 the bounds of the paths below it ('/' + 1
/// is '0'; below the root itself every path but "" lies, and no upper bound).
PgParams subtree(RootId root, const std::string& path)
{
    PgParams p;
    p.integer(root).bytes(path).bytes(path.empty() ? path : path + "/");
    if (path.empty())
        p.null();
    else
        p.bytes(path + "0");
    return p;
}

const char* const kSubtree = "root = $1 AND (path = $2 OR (path > $3 AND ($4::bytea IS NULL OR path < $4)))";

} // namespace

PostgresLibraryStore::PostgresLibraryStore(const std::string& url, std::map<std::string, std::string> rootPaths,
                                           std::string user)
    : url_(platform::PgConnection::withoutPassword(url)), rootPaths_(std::move(rootPaths)), user_(std::move(user))
{
    connection_ = std::make_unique<platform::PgConnection>(url);
    open();
}

PostgresLibraryStore::~PostgresLibraryStore() = default;

void PostgresLibraryStore::tell(const QString& text)
{
    qCWarning(lcLibrary).noquote() << text;
    untold_ = text;
}

QString PostgresLibraryStore::takeNotice()
{
    if (connection_->takeReconnected())
        untold_ = QStringLiteral("The shared library at %1 answers again").arg(QString::fromStdString(url_));
    return std::exchange(untold_, QString());
}

void PostgresLibraryStore::open()
{
    const QString name = QString::fromStdString(url_);
    if (!connection_->isOpen()) {
        tell(QStringLiteral("The shared library at %1 cannot be reached (%2)")
                 .arg(name, QString::fromStdString(connection_->error()).trimmed()));
        return;
    }
    if (user_.empty())
        user_ = connection_->user();
    ready_ = migrate();
    if (ready_)
        loadRoots();
}

bool PostgresLibraryStore::migrate()
{
    const QString name = QString::fromStdString(url_);
    const int latest = int(migrations().size());
    // A library at the latest version needs no write: a role that may only read uses it as it is.
    Result v = connection_->exec("SELECT version FROM schema_version");
    int version = v.rows() == 1 ? int(v.integer(0, 0)) : -1;
    if (version == latest)
        return true;
    if (version > latest) {
        tell(QStringLiteral("The shared library at %1 was made by a newer Tonfolio; it is not used").arg(name));
        return false;
    }
    for (;;) {
        // Each step in a transaction of its own, one client at a time: two starting at once upgrade once.
        Transaction t(*this);
        bool ok = t.began() && connection_->run("SELECT pg_advisory_xact_lock(1416523372);"
                                                "CREATE TABLE IF NOT EXISTS schema_version(version integer NOT NULL)");
        Result now = ok ? connection_->exec("SELECT version FROM schema_version") : Result();
        ok = ok && now.ok();
        version = now.rows() == 1 ? int(now.integer(0, 0)) : 0;
        if (ok && now.rows() == 0)
            ok = connection_->run("INSERT INTO schema_version VALUES(0)");
        if (ok && version >= latest)
            return t.commit() && version == latest;
        ok = ok && connection_->run(migrations()[size_t(version)]);
        ok = ok && connection_->exec("UPDATE schema_version SET version = $1", Params().integer(version + 1)).ok();
        const std::string why = connection_->error();
        if (!ok || !t.commit()) {
            tell(QStringLiteral("The shared library at %1 could not be made or upgraded (%2)")
                     .arg(name, QString::fromStdString(why).trimmed()));
            return false;
        }
    }
}

PostgresLibraryStore::Result PostgresLibraryStore::query(const char* sql, const Params& params)
{
    Result r = connection_->exec(sql, params);
    if (!r.ok())
        failed(r);
    return r;
}

bool PostgresLibraryStore::failed(const Result& r)
{
    if (r.ok())
        return false;
    const std::string state = r.sqlState();
    if (connection_->takeLost() || state.empty()) {
        tell(QStringLiteral("The shared library at %1 cannot be reached; Tonfolio tries again every few seconds")
                 .arg(QString::fromStdString(url_)));
    } else if (state == "42501" || state == "25006") {
        // No permission, or a server that only reads: said once, not at every search.
        if (!readOnlyTold_)
            tell(QStringLiteral("The shared library lets %1 only search and play; changes are not kept")
                     .arg(QString::fromStdString(user_)));
        readOnlyTold_ = true;
    } else if (state != "25P02") { // the transaction failed before: its first error was logged
        qCWarning(lcLibrary).noquote() << "shared library:" << QString::fromStdString(r.error()).trimmed();
    }
    return true;
}

bool PostgresLibraryStore::commitChange(Transaction& t, bool ok)
{
    ok = ok && t.began() && query("UPDATE changes SET count = count + 1").ok();
    return ok && t.commit();
}

std::int64_t PostgresLibraryStore::changeCount()
{
    Result r = connection_->exec("SELECT count FROM changes");
    if (r.rows() != 1) {
        failed(r);
        return -1;
    }
    if (!ready_) // the server came back after a start without it
        open();
    return r.integer(0, 0);
}

void PostgresLibraryStore::loadRoots()
{
    Result r = query("SELECT id, name FROM roots");
    if (!r.ok())
        return;
    roots_.clear();
    for (int i = 0; i < r.rows(); ++i) {
        std::string name = r.bytes(i, 1);
        roots_[r.integer(i, 0)] = RootName{name, localPath(name)};
    }
}

std::string PostgresLibraryStore::localPath(const std::string& name) const
{
    const auto it = rootPaths_.find(name);
    return it == rootPaths_.end() ? name : it->second;
}

std::string PostgresLibraryStore::sharedPath(const std::string& local)
{
    for (const auto& [id, root] : roots_)
        if (local.compare(0, root.local.size(), root.local) == 0 &&
            (local.size() == root.local.size() || local[root.local.size()] == '/'))
            return root.name + local.substr(root.local.size());
    return local;
}

std::string PostgresLibraryStore::localOf(const std::string& shared)
{
    for (const auto& [id, root] : roots_)
        if (shared.compare(0, root.name.size(), root.name) == 0 &&
            (shared.size() == root.name.size() || shared[root.name.size()] == '/'))
            return root.local + shared.substr(root.name.size());
    return shared;
}

std::vector<RootId> PostgresLibraryStore::unmounted()
{
    std::vector<RootId> out;
    for (const auto& [id, root] : roots_)
        if (!platform::entryIdentity(root.local))
            out.push_back(id);
    return out;
}

std::optional<RootId> PostgresLibraryStore::addRoot(const std::string& path, const std::string& mount)
{
    loadRoots();
    for (const auto& [id, root] : roots_)
        if (root.local == path)
            return id;
    Transaction t(*this);
    Result r =
        query("INSERT INTO roots(name, mount) VALUES($1, $2) ON CONFLICT(name) DO UPDATE SET name = excluded.name"
              " RETURNING id",
              Params().bytes(path).bytes(mount));
    if (r.rows() != 1 || !commitChange(t, true))
        return std::nullopt;
    roots_[r.integer(0, 0)] = RootName{path, localPath(path)};
    return r.integer(0, 0);
}

bool PostgresLibraryStore::removeRoot(RootId root)
{
    // Its folders, files and measures go with it; marks stay by path.
    Transaction t(*this);
    const bool ok = query("DELETE FROM roots WHERE id = $1", Params().integer(root)).ok();
    roots_.erase(root);
    return commitChange(t, ok);
}

std::vector<LibraryRoot> PostgresLibraryStore::roots()
{
    std::vector<LibraryRoot> out;
    Result r =
        query("SELECT id, name, mount, state, status, indexed, round, full_check, files FROM roots ORDER BY name");
    for (int i = 0; i < r.rows(); ++i) {
        LibraryRoot root;
        root.id = r.integer(i, 0);
        const std::string name = r.bytes(i, 1);
        root.path = localPath(name);
        roots_[root.id] = RootName{name, root.path};
        root.mount = r.bytes(i, 2);
        root.state = RootState(r.integer(i, 3));
        root.status = QString::fromStdString(r.text(i, 4));
        root.indexedAt = r.integer(i, 5);
        root.round = r.integer(i, 6);
        root.fullCheck = r.boolean(i, 7);
        root.files = r.integer(i, 8);
        out.push_back(std::move(root));
    }
    return out;
}

bool PostgresLibraryStore::setRootState(RootId root, RootState state, const QString& status)
{
    Transaction t(*this);
    const bool ok = query("UPDATE roots SET state = $2, status = $3 WHERE id = $1",
                          Params().integer(root).integer(int(state)).text(status.toStdString()))
                        .ok();
    return commitChange(t, ok);
}

bool PostgresLibraryStore::beginFullCheck(RootId root)
{
    return query("UPDATE roots SET round = round + 1, full_check = true WHERE id = $1 AND NOT full_check",
                 Params().integer(root))
        .ok();
}

std::vector<FolderRecord> PostgresLibraryStore::folders(RootId root)
{
    std::vector<FolderRecord> out;
    Result r = query("SELECT id, coalesce(parent, 0), path, modified, checked, gone FROM folders WHERE root = $1"
                     " ORDER BY path",
                     Params().integer(root));
    for (int i = 0; i < r.rows(); ++i) {
        FolderRecord f;
        f.id = r.integer(i, 0);
        f.parent = r.integer(i, 1);
        f.path = r.bytes(i, 2);
        f.modified = r.integer(i, 3);
        f.checked = r.integer(i, 4);
        f.gone = r.boolean(i, 5);
        out.push_back(std::move(f));
    }
    return out;
}

std::vector<StoredFile> PostgresLibraryStore::filesIn(FolderId folder)
{
    std::vector<StoredFile> out;
    Result r =
        query("SELECT id, name, size, modified, inode, missing FROM files WHERE folder = $1", Params().integer(folder));
    for (int i = 0; i < r.rows(); ++i) {
        StoredFile f;
        f.id = r.integer(i, 0);
        f.name = r.bytes(i, 1);
        f.size = r.integer(i, 2);
        f.modified = r.integer(i, 3);
        f.inode = std::uint64_t(r.integer(i, 4));
        f.missing = r.boolean(i, 5);
        out.push_back(std::move(f));
    }
    return out;
}

std::string PostgresLibraryStore::folderWords(RootId root, const std::string& path)
{
    if (!roots_.count(root))
        loadRoots();
    // The library folder's own name counts, the folders above it do not: "home" would find everything.
    const std::string rootName = lastComponent(roots_[root].name);
    return searchFoldedBytes(path.empty() ? rootName : rootName + "/" + path) + "\n";
}

std::optional<FolderId> PostgresLibraryStore::folderId(RootId root, const std::string& path, bool make)
{
    Result found = query("SELECT id FROM folders WHERE root = $1 AND path = $2", Params().integer(root).bytes(path));
    if (found.rows() == 1)
        return found.integer(0, 0);
    if (!make || !found.ok())
        return std::nullopt;
    Params p;
    p.integer(root);
    if (path.empty()) {
        p.null();
    } else {
        const std::optional<FolderId> parent = folderId(root, parentOf(path), true);
        if (!parent)
            return std::nullopt;
        p.integer(*parent);
    }
    p.bytes(path).text(folderWords(root, path));
    // Two indexers listing the same folder at once both get the one made first.
    Result made = query("INSERT INTO folders(root, parent, path, words) VALUES($1, $2, $3, $4)"
                        " ON CONFLICT(root, path) DO UPDATE SET path = excluded.path RETURNING id",
                        p);
    if (made.rows() != 1)
        return std::nullopt;
    return made.integer(0, 0);
}

std::optional<FileId> PostgresLibraryStore::fileId(FolderId folder, const std::string& name)
{
    Result r = query("SELECT id FROM files WHERE folder = $1 AND name = $2", Params().integer(folder).bytes(name));
    return r.rows() == 1 ? std::optional<FileId>(r.integer(0, 0)) : std::nullopt;
}

bool PostgresLibraryStore::writeFolders(RootId root, const std::vector<FolderWrite>& writes)
{
    Transaction t(*this);
    bool ok = t.began();
    for (size_t i = 0; ok && i < writes.size(); ++i)
        ok = writeFolder(root, writes[i]);
    return commitChange(t, ok);
}

bool PostgresLibraryStore::writeFolder(RootId root, const FolderWrite& w)
{
    const std::optional<FolderId> id = folderId(root, w.path, true);
    bool ok = id && query("UPDATE folders SET modified = $2, checked = $3, gone = false WHERE id = $1",
                          Params().integer(*id).integer(w.modified).integer(w.checked))
                        .ok();
    for (size_t i = 0; ok && i < w.goneFolders.size(); ++i)
        ok = markFolderGone(root, w.goneFolders[i]);
    ok = ok && upsertFiles(*id, w.upserts);
    for (const auto& [ids, missing] : {std::make_pair(&w.missing, true), std::make_pair(&w.found, false)}) {
        std::vector<std::string> list;
        for (const FileId file : *ids)
            list.push_back(std::to_string(file));
        ok = ok && (list.empty() || query("UPDATE files SET missing = $2 WHERE id = ANY($1::bigint[])",
                                          Params().numberArray(list).boolean(missing))
                                        .ok());
    }
    return ok;
}

bool PostgresLibraryStore::upsertFiles(FolderId folder, const std::vector<FileRecord>& files)
{
    if (files.empty())
        return true;
    // One statement for the folder's files: a round trip per file would cost a large first pass more
    // than the server's own work.
    std::vector<std::string> names, size, modified, device, inode, format, channels, bits, rate, seconds, loops,
        description, words;
    for (const FileRecord& f : files) {
        const WaveHeader& h = f.header;
        names.push_back(f.name);
        size.push_back(std::to_string(f.size));
        modified.push_back(std::to_string(f.modified));
        device.push_back(std::to_string(std::int64_t(f.device)));
        inode.push_back(std::to_string(std::int64_t(f.inode)));
        format.push_back(h.read ? std::to_string(h.formatTag) : "NULL");
        channels.push_back(h.read ? std::to_string(h.channels) : "NULL");
        bits.push_back(h.read ? std::to_string(h.bits) : "NULL");
        rate.push_back(h.read ? std::to_string(h.rate) : "NULL");
        seconds.push_back(h.read ? Params::numberText(h.seconds) : "NULL");
        loops.push_back(std::to_string(h.loops));
        description.push_back(h.description.toStdString());
        words.push_back(fileWords(f.name, f.texts));
    }
    Params p;
    p.integer(folder).bytesArray(names).numberArray(size).numberArray(modified).numberArray(device);
    p.numberArray(inode).numberArray(format).numberArray(channels).numberArray(bits).numberArray(rate);
    p.numberArray(seconds).numberArray(loops).textArray(description).textArray(words);
    // A file listed before, or one whose name was taken meanwhile (the program renamed a file to it), is
    // brought up to date, and measured again.
    Result r =
        query("INSERT INTO files AS f(folder, name, size, modified, device, inode, format, channels, bits, rate,"
              " seconds, loops, description, own_words, words)"
              " SELECT $1, u.* , u.own || d.words FROM unnest($2::bytea[], $3::bigint[], $4::bigint[],"
              " $5::bigint[], $6::bigint[], $7::integer[], $8::integer[], $9::integer[], $10::bigint[],"
              " $11::float8[], $12::bigint[], $13::text[], $14::text[]) AS u(name, size, modified, device, inode,"
              " format, channels, bits, rate, seconds, loops, description, own) CROSS JOIN folders d"
              " WHERE d.id = $1"
              " ON CONFLICT(folder, name) DO UPDATE SET size = excluded.size, modified = excluded.modified,"
              " device = excluded.device, inode = excluded.inode, format = excluded.format,"
              " channels = excluded.channels, bits = excluded.bits, rate = excluded.rate,"
              " seconds = excluded.seconds, loops = excluded.loops, description = excluded.description,"
              " own_words = excluded.own_words, words = excluded.words, missing = false"
              " RETURNING id, xmax = 0",
              p);
    if (!r.ok())
        return false;
    std::vector<std::string> changed;
    for (int i = 0; i < r.rows(); ++i)
        if (!r.boolean(i, 1))
            changed.push_back(std::to_string(r.integer(i, 0)));
    return changed.empty() ||
           query("DELETE FROM measures WHERE file = ANY($1::bigint[])", Params().numberArray(changed)).ok();
}

bool PostgresLibraryStore::markFolderGone(RootId root, const std::string& path)
{
    // Its files are missing until the pass ends; the folder is listed anew should it come back.
    const Params p = subtree(root, path);
    return query(std::string("UPDATE files SET missing = true WHERE folder IN (SELECT id FROM folders WHERE ") +
                     kSubtree + ")",
                 p)
               .ok() &&
           query(std::string("UPDATE folders SET gone = true, modified = 0 WHERE ") + kSubtree, p).ok();
}

RootCounts PostgresLibraryStore::counts(RootId root)
{
    RootCounts c;
    Result r = query("SELECT count(*), count(*) FILTER (WHERE missing) FROM files WHERE folder IN"
                     " (SELECT id FROM folders WHERE root = $1)",
                     Params().integer(root));
    if (r.rows() == 1) {
        c.files = r.integer(0, 0);
        c.missing = r.integer(0, 1);
    }
    return c;
}

bool PostgresLibraryStore::finishPass(RootId root, bool keepMissing, RootState state, const QString& status)
{
    Transaction t(*this);
    bool ok = t.began();
    if (ok && !keepMissing)
        ok = query("DELETE FROM files WHERE missing AND folder IN (SELECT id FROM folders WHERE root = $1)",
                   Params().integer(root))
                 .ok() &&
             query("DELETE FROM folders WHERE root = $1 AND gone", Params().integer(root)).ok();
    ok = ok && query("UPDATE roots SET state = $2, status = $3, full_check = false,"
                     " indexed = (extract(epoch FROM clock_timestamp()) * 1000)::bigint, files = (SELECT count(*)"
                     " FROM files WHERE folder IN (SELECT id FROM folders WHERE root = $1)) WHERE id = $1",
                     Params().integer(root).integer(int(state)).text(status.toStdString()))
                   .ok();
    return commitChange(t, ok);
}

bool PostgresLibraryStore::renameFile(RootId root, const std::string& folder, const std::string& name,
                                      const std::string& newName)
{
    Transaction t(*this);
    const std::optional<FolderId> dir = t.began() ? folderId(root, folder, false) : std::nullopt;
    const std::optional<FileId> id = dir ? fileId(*dir, name) : std::nullopt;
    if (!id)
        return t.began();
    // An entry the new name had is stale: a rename never replaces a file. The words keep the file's
    // texts after its name.
    bool ok = query("DELETE FROM files WHERE folder = $1 AND name = $2 AND id <> $3",
                    Params().integer(*dir).bytes(newName).integer(*id))
                  .ok();
    ok =
        ok && query("UPDATE files AS f SET name = $2, own_words = $3 || substr(f.own_words, strpos(f.own_words, E'\\n')"
                    " + 1), words = $3 || substr(f.own_words, strpos(f.own_words, E'\\n') + 1) || d.words"
                    " FROM folders d WHERE f.id = $1 AND d.id = f.folder",
                    Params().integer(*id).bytes(newName).text(searchFoldedBytes(newName) + "\n"))
                  .ok();
    return commitChange(t, ok);
}

bool PostgresLibraryStore::moveFile(RootId root, const std::string& folder, const std::string& name, RootId toRoot,
                                    const std::string& toFolder)
{
    Transaction t(*this);
    const std::optional<FolderId> dir = t.began() ? folderId(root, folder, false) : std::nullopt;
    const std::optional<FileId> id = dir ? fileId(*dir, name) : std::nullopt;
    if (!id)
        return t.began();
    // A folder not indexed yet is made, to be listed by the next pass; the file's words take its words.
    const std::optional<FolderId> to = folderId(toRoot, toFolder, true);
    bool ok = to && query("DELETE FROM files WHERE folder = $1 AND name = $2 AND id <> $3",
                          Params().integer(*to).bytes(name).integer(*id))
                        .ok();
    ok = ok && query("UPDATE files AS f SET folder = $2, words = f.own_words || d.words FROM folders d"
                     " WHERE f.id = $1 AND d.id = $2",
                     Params().integer(*id).integer(*to))
                   .ok();
    return commitChange(t, ok);
}

bool PostgresLibraryStore::removeFile(RootId root, const std::string& folder, const std::string& name)
{
    Transaction t(*this);
    const std::optional<FolderId> dir = t.began() ? folderId(root, folder, false) : std::nullopt;
    if (!dir)
        return t.began();
    const bool ok = query("DELETE FROM files WHERE folder = $1 AND name = $2", Params().integer(*dir).bytes(name)).ok();
    return commitChange(t, ok);
}

bool PostgresLibraryStore::invalidateFolder(RootId root, const std::string& folder)
{
    return query("UPDATE folders SET modified = 0 WHERE root = $1 AND path = $2", Params().integer(root).bytes(folder))
        .ok();
}

bool PostgresLibraryStore::removeFolder(RootId root, const std::string& folder)
{
    Transaction t(*this);
    const bool ok = query(std::string("DELETE FROM folders WHERE ") + kSubtree, subtree(root, folder)).ok();
    return commitChange(t, ok);
}

} // namespace library
