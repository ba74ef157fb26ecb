// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The library on a PostgreSQL server, shared by a studio: one indexer next to the files writes it,
// every client searches, stars and tags. Words are found through a pg_trgm index over each file's
// folded name, texts and folder words, measures through ordinary indexes. Library folders are kept by
// a root name (the path where they were added); each machine maps a name to where it mounts the
// share, and a root not mounted here gives offline rows. Favourites are each user's own; tags are
// shared, with who set them and when.

#include "library/librarystore.h"
#include "library/similarityindex.h"
#include "platform/database/pgconnection.h"

#include <map>
#include <memory>
#include <set>
#include <string>

namespace library {

struct SearchSql;

class PostgresLibraryStore : public LibraryStore {
public:
    /// url: a libpq URL (postgresql://...); rootPaths: root name -> path on this machine, for the
    /// roots mounted elsewhere here; user: who stars and tags (empty: the server's role name).
    explicit PostgresLibraryStore(const std::string& url, std::map<std::string, std::string> rootPaths = {},
                                  std::string user = {});
    ~PostgresLibraryStore() override;

    bool isOpen() const override { return ready_; }
    QString takeNotice() override;
    std::int64_t changeCount() override;

    std::optional<RootId> addRoot(const std::string& path, const std::string& mount) override;
    bool removeRoot(RootId root) override;
    std::vector<LibraryRoot> roots() override;
    bool setRootState(RootId root, RootState state, const QString& status) override;
    bool beginFullCheck(RootId root) override;

    std::vector<FolderRecord> folders(RootId root) override;
    std::vector<StoredFile> filesIn(FolderId folder) override;
    bool writeFolders(RootId root, const std::vector<FolderWrite>& writes) override;
    RootCounts counts(RootId root) override;
    bool finishPass(RootId root, bool keepMissing, RootState state, const QString& status) override;

    std::vector<Unmeasured> unmeasured(FileId after, int limit) override;
    bool putMeasures(const std::vector<MeasuredFile>& measures) override;
    std::optional<FileMeasures> measures(FileId file) override;
    std::int64_t unmeasuredCount() override;

    bool renameFile(RootId root, const std::string& folder, const std::string& name,
                    const std::string& newName) override;
    bool moveFile(RootId root, const std::string& folder, const std::string& name, RootId toRoot,
                  const std::string& toFolder) override;
    bool removeFile(RootId root, const std::string& folder, const std::string& name) override;
    bool invalidateFolder(RootId root, const std::string& folder) override;
    bool removeFolder(RootId root, const std::string& folder) override;

    bool setFavourite(const std::string& path, const platform::FileIdentity& identity, bool favourite) override;
    bool changeTags(const std::string& path, const platform::FileIdentity& identity, const QStringList& add,
                    const QStringList& remove) override;
    FileMarks marksOf(const std::string& path) override;
    std::map<std::string, FileMarks> marksIn(const std::string& folder) override;
    QStringList allTags() override;
    std::vector<MarkedFile> markedFiles(bool favouritesOnly) override;
    std::optional<MarkedFile> markedByIdentity(const platform::FileIdentity& identity) override;
    std::optional<std::string> indexedPathOf(const platform::FileIdentity& identity) override;
    bool followMarks(const std::string& from, const std::string& to) override;
    bool forgetMarks(const std::string& path) override;

    SearchResult search(const SearchQuery& query, const SearchOrder& order, int limit) override;

    std::optional<SoundFeatures> featuresOf(FileId file) override;
    std::optional<FileId> fileAt(const std::string& path) override;
    SearchResult similar(const SoundFeatures& like, const SimilarityWeights& weights, const SearchQuery& within,
                         int limit) override;

    /// Who the store stars and tags for.
    const std::string& user() const { return user_; }
    /// The schema's upgrade steps; the library's version is their count.
    static const std::vector<const char*>& migrations();

private:
    using Params = platform::PgParams;
    using Result = platform::PgResult;
    /// BEGIN when made, ROLLBACK unless committed.
    class Transaction {
    public:
        // Through query(): a server found gone at BEGIN is told like one gone at any other statement.
        explicit Transaction(PostgresLibraryStore& s) : s_(s) { began_ = s_.query("BEGIN").ok(); }
        ~Transaction()
        {
            if (began_ && !done_)
                s_.connection_->run("ROLLBACK");
        }
        bool began() const { return began_; }
        bool commit()
        {
            done_ = true;
            return s_.connection_->run("COMMIT");
        }

    private:
        PostgresLibraryStore& s_;
        bool began_ = false;
        bool done_ = false;
    };

    void open();
    bool migrate();
    /// Runs a statement; a failure is logged and told to the user when it says something they can act
    /// on (the server is gone, the role may only read).
    Result query(const char* sql, const Params& params = {});
    Result query(const std::string& sql, const Params& params = {}) { return query(sql.c_str(), params); }
    bool failed(const Result& r);
    void tell(const QString& text);
    /// Counts the change and commits.
    bool commitChange(Transaction& t, bool ok);

    // Roots: the name kept in the library and the path on this machine.
    void loadRoots();
    std::string localPath(const std::string& name) const;
    /// A path of this machine as the library keeps it (under a root's name), and back.
    std::string sharedPath(const std::string& local);
    std::string localOf(const std::string& shared);
    /// Roots whose folder is not there on this machine.
    std::vector<RootId> unmounted();

    std::optional<FolderId> folderId(RootId root, const std::string& path, bool make);
    std::optional<FileId> fileId(FolderId folder, const std::string& name);
    bool writeFolder(RootId root, const FolderWrite& write);
    bool upsertFiles(FolderId folder, const std::vector<FileRecord>& files);
    bool markFolderGone(RootId root, const std::string& path);
    std::string folderWords(RootId root, const std::string& path);
    static FileMeasures measuresAt(const Result& r, int row, int first);
    /// A search result from a row of postgresSearchSql's columns; away: the roots not mounted here.
    SearchRow rowAt(const Result& r, int row, const std::vector<RootId>& away);
    /// The rows of a search statement, its values bound.
    Result searchRows(const SearchSql& sql);
    /// Reads the stored features into the similarity index when the library changed since.
    bool loadSimilarity();
    std::optional<std::int64_t> markId(const std::string& shared, const platform::FileIdentity& identity, bool make);
    /// Drops the mark when nobody stars it and it has no tags.
    bool dropEmptyMark(std::int64_t mark);

    std::unique_ptr<platform::PgConnection> connection_;
    std::string url_;
    std::map<std::string, std::string> rootPaths_;
    std::string user_;
    bool ready_ = false;
    bool readOnlyTold_ = false;
    QString untold_;
    struct RootName {
        std::string name;  ///< as kept in the library
        std::string local; ///< where it is on this machine
    };
    std::map<RootId, RootName> roots_;
    // The features of every measured file, searched here: exact, and the server needs no extension.
    SimilarityIndex similarity_;
    std::int64_t similarityChanges_ = -1;
};

} // namespace library
