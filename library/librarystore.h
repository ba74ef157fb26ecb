// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the library keeps what it knows: the library folders, every wave file found below them with
// its header and measures, and the index that search runs over. One narrow interface of the queries
// the library needs, so that a shared server can stand in for the local SQLite file.
//
// Paths: a library folder is a root (an absolute path of this machine) plus folders relative to it
// and file names, all bytes as the file system holds them. A store shared between machines maps
// roots per machine; nothing below a root names the machine.

#include "library/musicalkey.h"
#include "library/searchquery.h"
#include "library/soundfeatures.h"
#include "platform/files/fileidentity.h"

#include <QString>
#include <QStringList>
#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace library {

using RootId = std::int64_t;
using FolderId = std::int64_t;
using FileId = std::int64_t;

/// Where a library folder stands.
enum class RootState {
    New = 0,               ///< added, never indexed
    Indexing = 1,          ///< a pass over it started and has not finished (it goes on where it stopped)
    Ready = 2,             ///< indexed
    Offline = 3,           ///< its drive is not there: its entries are kept and found, marked offline
    Unreachable = 4,       ///< cannot be read (no permission, a link loop, not a folder); entries kept
    NeedsConfirmation = 5, ///< most of its files went missing at once: kept until the user confirms
};

/// A library folder as the user added it.
struct LibraryRoot {
    RootId id = 0;
    std::string path;  ///< absolute path on this machine, without trailing '/'
    std::string mount; ///< the folder of the drive that held it when it was added ("/" for the system's)
    RootState state = RootState::New;
    QString status;             ///< what the last pass said of it, for the user
    std::int64_t indexedAt = 0; ///< end of the last finished pass (ms since the epoch), 0 if none
    std::int64_t round = 0;     ///< number of the pass that lists every folder (full check)
    bool fullCheck = false;     ///< a full check is under way (resumes after a kill)
    std::int64_t files = 0;     ///< files indexed when its last pass ended, missing ones included
};

/// A folder below a library folder, as last listed.
struct FolderRecord {
    FolderId id = 0;
    FolderId parent = 0;       ///< 0 for the library folder itself
    std::string path;          ///< relative to the root, '/'-separated, "" for the root
    std::int64_t modified = 0; ///< the folder's modification time (ns) when it was listed; 0: list again
    std::int64_t checked = 0;  ///< the full-check round it was last listed in
    bool gone = false;         ///< its parent no longer holds it (kept until the pass ends)
};

/// What the header of a wave file says; all zero when it could not be read.
struct WaveHeader {
    bool read = false;
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint16_t bits = 0;
    std::uint32_t rate = 0;
    double seconds = 0;
    std::uint32_t loops = 0; ///< loops of its sampler chunk that lie inside the sound
    QString description;     ///< the one line the file's texts describe it by
};

/// A wave file as a listing found it.
struct FileRecord {
    FileId id = 0;    ///< the stored file it is a new listing of; 0 for a file new to the index
    std::string name; ///< bytes, as its folder holds it
    std::int64_t size = 0;
    std::int64_t modified = 0; ///< ns since the epoch
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    WaveHeader header;
    QString texts; ///< the header's own texts (descriptions, titles), searched by words
};

/// A file as stored, for comparing with a new listing.
struct StoredFile {
    FileId id = 0;
    std::string name;
    std::int64_t size = 0;
    std::int64_t modified = 0;
    std::uint64_t inode = 0;
    bool missing = false;
};

/// The measures of a file (see library::SoundMeasures); NaN where the sound has no such measure.
struct FileMeasures {
    double loudness = std::nan("");
    double peak = std::nan("");
    double tempo = std::nan("");
    double pitch = std::nan("");
    std::optional<MusicalKey> key;
    bool decoded = true; ///< false: the file could not be decoded, nothing was measured
    std::optional<SoundFeatures> features; ///< how it sounds; none for silence or when not computed
};

/// One folder's new listing, written together with its files so that a pass that is killed goes on
/// after the last folder written.
struct FolderWrite {
    std::string path;                     ///< relative to the root
    std::string parentPath;               ///< "" for a folder of the root; ignored for the root itself
    std::int64_t modified = 0;            ///< 0 when the listing may have missed a change made in the same moment
    std::int64_t checked = 0;             ///< the full-check round
    std::vector<FileRecord> upserts;      ///< new and changed files (changed ones lose their measures)
    std::vector<FileId> missing;          ///< stored files the listing did not find
    std::vector<FileId> found;            ///< files marked missing before and there again, unchanged
    std::vector<std::string> goneFolders; ///< child folders no longer there: with their folders below
};

/// The next files pass two measures.
struct Unmeasured {
    FileId id = 0;
    std::string path; ///< absolute path on this machine
    std::int64_t size = 0;
    std::int64_t modified = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

/// Measures of a file as it was when measured: they are kept only while it is still so.
struct MeasuredFile {
    FileId id = 0;
    std::int64_t size = 0;
    std::int64_t modified = 0;
    FileMeasures measures;
};

/// The absolute path of a file of a library folder: root, folder relative to it ("" for the root), name.
std::string filePath(const std::string& root, const std::string& folder, const std::string& name);

/// Whether a result row can be acted on now.
enum class Availability { Present, Offline, Missing };

/// One search result, with everything the list shows.
struct SearchRow {
    FileId id = 0;
    RootId root = 0;
    std::string rootPath; ///< absolute path of its library folder on this machine
    std::string folder;   ///< relative to the root
    std::string name;     ///< bytes
    std::int64_t size = 0;
    std::int64_t modified = 0;
    WaveHeader header;
    std::optional<FileMeasures> measures; ///< none until pass two reached it
    Availability availability = Availability::Present;
    bool favourite = false;
    /// How alike it sounds to the sound searched by (0..1, 1 = the same); set by similar() only.
    std::optional<double> similarity;

    /// The file's absolute path on this machine.
    std::string path() const;
    /// Its folder's absolute path on this machine, with a trailing '/'.
    std::string folderPath() const;
};

/// Columns results can be ordered by. Stored is the order files were first indexed in (folder by
/// folder, names in order) and costs nothing; the others sort every match before the limit applies.
enum class SearchColumn {
    Stored,
    Name,
    Folder,
    Size,
    Modified,
    Length,
    Rate,
    Loudness,
    Peak,
    Tempo,
    Pitch,
    Key,
    Similarity
};

struct SearchOrder {
    SearchColumn column = SearchColumn::Stored;
    bool descending = false;
};

struct SearchResult {
    std::vector<SearchRow> rows;
    bool more = false;   ///< more files match than the limit let through
    bool failed = false; ///< the store could not be read; rows are empty
    bool noFolders = false; ///< nothing found because the library has no folders at all
};

/// What the user gave a file: a star and tags. Kept by the file's path and identity, so they follow
/// the program's own renames and moves, and moves by others once the index finds the file again.
struct FileMarks {
    bool favourite = false;
    QStringList tags; ///< as typed, in the order of their folded texts
    bool isEmpty() const { return !favourite && tags.isEmpty(); }
};

/// A file the user marked, wherever it lies (in a library folder or not).
struct MarkedFile {
    std::string path; ///< absolute, Linux
    platform::FileIdentity identity;
    FileMarks marks;
    FileId file = 0; ///< its entry in the index; 0 outside the library folders
};

/// How many files a pass one over a library folder left.
struct RootCounts {
    std::int64_t files = 0;
    std::int64_t missing = 0;
};

/// The queries the library needs. One instance belongs to one thread; each thread opens its own.
class LibraryStore {
public:
    virtual ~LibraryStore() = default;

    /// Whether the store can be used; notice() tells why not, and what happened on opening (a damaged
    /// file set aside, ...).
    virtual bool isOpen() const = 0;
    /// A message for the user that was not handed out before; empty when there is none.
    virtual QString takeNotice() = 0;
    /// Counts every change written by any client; a client whose count moved searches again.
    virtual std::int64_t changeCount() = 0;

    // Library folders.
    /// Adds a library folder (an absolute path without trailing '/'); its id, also when it was there.
    virtual std::optional<RootId> addRoot(const std::string& path, const std::string& mount) = 0;
    /// Removes a library folder with everything indexed below it.
    virtual bool removeRoot(RootId root) = 0;
    virtual std::vector<LibraryRoot> roots() = 0;
    virtual bool setRootState(RootId root, RootState state, const QString& status) = 0;
    /// Starts a full check: the pass lists every folder of the next round.
    virtual bool beginFullCheck(RootId root) = 0;

    // Pass one.
    /// The folders of a library folder, in the byte order of their paths.
    virtual std::vector<FolderRecord> folders(RootId root) = 0;
    virtual std::vector<StoredFile> filesIn(FolderId folder) = 0;
    /// Writes folders' listings in one transaction.
    virtual bool writeFolders(RootId root, const std::vector<FolderWrite>& writes) = 0;
    virtual RootCounts counts(RootId root) = 0;
    /// Ends a pass over a library folder: drops the files and folders found missing (or keeps them when
    /// keepMissing), ends a full check, records the state and the time.
    virtual bool finishPass(RootId root, bool keepMissing, RootState state, const QString& status) = 0;

    // Pass two.
    /// Files not measured yet, of library folders that are there, lowest id first, after `after`.
    virtual std::vector<Unmeasured> unmeasured(FileId after, int limit) = 0;
    /// Stores measures in one transaction; those of files changed or gone since are dropped.
    virtual bool putMeasures(const std::vector<MeasuredFile>& measures) = 0;
    virtual std::optional<FileMeasures> measures(FileId file) = 0;
    virtual std::int64_t unmeasuredCount() = 0;
    /// Brings the words index up to the files a pass wrote, at most `limit` files a call, in one
    /// transaction: how many it took in, 0 when none wait, -1 when it failed. Stores that index words
    /// as they are written have nothing to do.
    virtual std::int64_t indexWords(int limit)
    {
        (void)limit;
        return 0;
    }

    // Tonfolio's own changes, in the index at once. Paths are relative to the root.
    virtual bool renameFile(RootId root, const std::string& folder, const std::string& name,
                            const std::string& newName) = 0;
    virtual bool moveFile(RootId root, const std::string& folder, const std::string& name, RootId toRoot,
                          const std::string& toFolder) = 0;
    virtual bool removeFile(RootId root, const std::string& folder, const std::string& name) = 0;
    /// Forgets a folder's listing, so the next pass lists it again.
    virtual bool invalidateFolder(RootId root, const std::string& folder) = 0;
    /// Drops a folder with everything below it.
    virtual bool removeFolder(RootId root, const std::string& folder) = 0;

    // Favourites and tags, by absolute Linux path. A file whose marks are all taken away is forgotten.
    /// Stars a file or takes its star away; identity is the file's as it is now.
    virtual bool setFavourite(const std::string& path, const platform::FileIdentity& identity, bool favourite) = 0;
    /// Gives a file the tags `add` and takes `remove` away, in one transaction: tags someone else gave it
    /// meanwhile stay. Letter case and accents tell no two tags apart (a tag it has keeps its spelling),
    /// and a comma parts tags.
    virtual bool changeTags(const std::string& path, const platform::FileIdentity& identity, const QStringList& add,
                            const QStringList& remove) = 0;
    virtual FileMarks marksOf(const std::string& path) = 0;
    /// The marks of the files of one folder (absolute, without trailing '/'), by name.
    virtual std::map<std::string, FileMarks> marksIn(const std::string& folder) = 0;
    /// Every tag in use, each once, in the order of their folded texts.
    virtual QStringList allTags() = 0;
    /// Every marked file (favourites only when asked), in path order.
    virtual std::vector<MarkedFile> markedFiles(bool favouritesOnly) = 0;
    /// The marked file that has this identity, where it is not under its own path (moved by another program).
    virtual std::optional<MarkedFile> markedByIdentity(const platform::FileIdentity& identity) = 0;
    /// The path of the indexed file that has this identity (a file moved since a list of marks was
    /// written), present and not missing; nothing when none has.
    virtual std::optional<std::string> indexedPathOf(const platform::FileIdentity& identity) = 0;
    /// The program renamed or moved a file (or a folder: everything below it goes along).
    virtual bool followMarks(const std::string& from, const std::string& to) = 0;
    /// The program deleted a file: its marks go with it.
    virtual bool forgetMarks(const std::string& path) = 0;

    // Search.
    virtual SearchResult search(const SearchQuery& query, const SearchOrder& order, int limit) = 0;

    // Sounds alike.
    /// A file's stored features (none until measured).
    virtual std::optional<SoundFeatures> featuresOf(FileId file) = 0;
    /// The indexed file at this absolute path (present), if any.
    virtual std::optional<FileId> fileAt(const std::string& path) = 0;
    /// The files meeting `within` (an empty query: the whole library) nearest to `like`, nearest
    /// first, at most limit; each row's `similarity` (0..1, 1 = same) is set.
    virtual SearchResult similar(const SoundFeatures& like, const SimilarityWeights& weights, const SearchQuery& within,
                                 int limit) = 0;
};

} // namespace library
