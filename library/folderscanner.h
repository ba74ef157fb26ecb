// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pass one over a library folder: lists its folders, every level down, and reads the headers of new
// and changed wave files with many readers at once, writing folder by folder in batches. A folder whose
// modification time is what it was when it was last listed is not listed again (a full check lists
// them all and compares each file's size and time). As each folder's listing is written together with
// its files, a pass that is killed goes on after the last folder written.

#include "library/librarystore.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace library {

struct ScanProgress {
    std::int64_t files = 0;       ///< files of the library folder known so far
    std::int64_t foldersLeft = 0; ///< folders found and not listed yet
};

struct ScanOutcome {
    RootState state = RootState::Ready;
    QString status;
    std::int64_t files = 0;
    std::int64_t missing = 0;    ///< kept, waiting for the user's word (NeedsConfirmation)
    std::int64_t unreadable = 0; ///< folders below that could not be listed (their entries are kept)
    bool stopped = false;        ///< asked to stop: the pass goes on from here next time
};

class FolderScanner {
public:
    struct Options {
        int headerReaders = 16;
        /// Header reads in flight per reader before the walk waits for the oldest folder's: enough that
        /// the readers never wait for the walk. With 32 the walk stopped for the oldest folder so often on
        /// a cold disk that the readers kept falling asleep and the disk's queue ran short.
        int readsAheadPerReader = 128;
        /// Files written in one transaction at most, and the longest time between two.
        int batchFiles = 5000;
        int batchMs = 1000;
        /// A second connection to the store: given, the batches are written on a thread of their own
        /// while the walk goes on.
        std::function<std::unique_ptr<LibraryStore>()> openWriter;
    };

    FolderScanner(LibraryStore& store, Options options);

    /// Set from any thread: the pass stops after the folder at hand, keeping what it wrote.
    void setStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }
    /// Called between folders with nothing of the pass waiting to be written, when it returns true:
    /// changes the program made itself go into the index there.
    void setPauseHook(std::function<bool()> pending, std::function<void()> apply)
    {
        pausePending_ = std::move(pending);
        pauseApply_ = std::move(apply);
    }
    void setProgress(std::function<void(const ScanProgress&)> progress) { progress_ = std::move(progress); }

    /// The whole library folder.
    ScanOutcome scan(const LibraryRoot& root);
    /// These folders (relative paths) listed whatever their times say, as a watch reported changes in
    /// them, with the folders new below them; nothing of the library folder's state changes unless its
    /// own folder is gone.
    ScanOutcome scanFolders(const LibraryRoot& root, const std::vector<std::string>& folders);

    /// Why the library folder cannot be walked now, or nothing: offline when its drive is not there.
    static std::optional<std::pair<RootState, QString>> unavailable(const LibraryRoot& root);

private:
    struct Walk;
    ScanOutcome walk(const LibraryRoot& root, const std::vector<std::string>& start, bool forced);
    /// Counts what is left and ends the pass: drops what went missing, or keeps it and asks.
    ScanOutcome finish(const LibraryRoot& root, const Walk& w, ScanOutcome out);

    LibraryStore& store_;
    Options options_;
    const std::atomic<bool>* stop_ = nullptr;
    std::function<bool()> pausePending_;
    std::function<void()> pauseApply_;
    std::function<void(const ScanProgress&)> progress_;
};

/// "41,200" with the locale's separator.
QString countText(std::int64_t n);

} // namespace library
