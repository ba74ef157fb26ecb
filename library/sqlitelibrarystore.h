// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The library in a local SQLite file: nothing to install or start. Several copies of the program (a
// window, `tonfolio --index`) share it in WAL mode. Words are found through FTS5 trigram indexes over
// folded names and folders, measures through ordinary indexes, the two joined by row id.

#include "library/librarystore.h"
#include "library/similarityindex.h"
#include "platform/database/sqlitefile.h"

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <utility>

struct sqlite3;
struct sqlite3_stmt;

namespace library {

class SqliteLibraryStore : public LibraryStore {
public:
    /// Opens or makes the file (a native path; empty for the user's data folder). A damaged or foreign
    /// file is set aside (".damaged") and a new one made, with the library folders carried over when
    /// they can still be read.
    explicit SqliteLibraryStore(std::string file = {});
    ~SqliteLibraryStore() override;

    /// $XDG_DATA_HOME/tonfolio/library.sqlite: what the library holds is the user's (favourites,
    /// tags), not a cache.
    static std::string defaultFile();
    const std::string& file() const { return file_; }
    /// The schema's upgrade steps, for tests of a file of an older version.
    static const platform::DatabaseSchema& schema();

    bool isOpen() const override { return database_.db() != nullptr; }
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
    std::int64_t indexWords(int limit) override;

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

private:
    sqlite3* db() const { return database_.db(); }
    /// A statement prepared once and kept (sql must be a literal: its address is the key), reset and
    /// with its bindings cleared; null when it cannot be prepared.
    sqlite3_stmt* statement(const char* sql);
    /// Runs the statements (literals, as for statement) in turn, each bound by `bind`, as long as all
    /// goes well, from rc on: the first failure's code, one that cannot be prepared too.
    int runInTurn(int rc, std::initializer_list<const char*> sqls, const std::function<void(sqlite3_stmt*)>& bind);
    void open();
    /// Sets a damaged file aside and starts anew, keeping the library folders that can still be read.
    void rebuild();
    /// After a statement failed: a damaged file is rebuilt. Returns false for the caller to pass on.
    bool failed(int rc);
    void tell(const QString& text);

    /// The id of a folder of a root, made (to be listed) with the folders above it when missing.
    std::optional<FolderId> folderId(RootId root, const std::string& path, bool make);
    std::optional<FileId> fileId(FolderId folder, const std::string& name);
    int writeFolder(RootId root, const FolderWrite& write);
    /// `folderText`: the folder's words (folderWords), which the file's words carry too.
    int upsertFile(FolderId folder, const std::string& folderText, const FileRecord& file);
    int dropFiles(const char* whereIds, std::int64_t key);
    /// Stores a measured file's features, or drops those it had.
    int putFeatures(FileId file, const std::optional<SoundFeatures>& features);
    int markFolderGone(RootId root, const std::string& path);
    std::int64_t goneFolders(RootId root);
    int bumpChanges();
    /// Ends a transaction that changed the library, if all of it went well (rc): counted as a change
    /// that searches showing results look for, then committed. The first failure's code.
    int commitChange(platform::SqlTransaction& t, int rc);
    /// The measures in six columns from `first`: loudness, peak, tempo, pitch, key, decoded.
    static FileMeasures measuresAt(sqlite3_stmt* s, int first);
    /// A search result from a row of sqliteSearchSql's columns.
    static SearchRow rowAt(sqlite3_stmt* s);
    /// The words a file is found by: its folded name and texts.
    std::string folderWords(RootId root, const std::string& path);
    /// Whether files wait for their words to be indexed.
    bool wordsWaiting();
    /// The statements that add the favourites and tags to a library of version 1.
    static const char* marksSchema();
    /// The mark of a path, made (with the file's identity and index entry) when missing and make.
    std::optional<std::int64_t> markId(const std::string& path, const platform::FileIdentity& identity, bool make);
    /// Drops marks that no longer mark anything.
    int dropEmptyMarks();

    std::string file_;
    platform::DatabaseFile database_;
    QString untold_;
    std::map<RootId, std::string> rootNames_; ///< the last component of each root, for folder words
    std::map<const char*, std::unique_ptr<platform::SqlStatement>> statements_;

    /// Reads the stored features into the similarity index when the library changed since; false when
    /// they cannot be read.
    bool loadSimilarity();
    SimilarityIndex similarity_;
    std::int64_t similarityChanges_ = -1;
};

} // namespace library
