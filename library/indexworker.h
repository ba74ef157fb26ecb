// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The indexer's own thread: runs the passes, applies the program's own changes, and watches.

#include "library/folderscanner.h"
#include "library/libraryindexer.h"
#include "library/measurepass.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace platform {
class FolderWatch;
}

namespace library {

class IndexWorker : public QObject {
    Q_OBJECT
public:
    /// A change Tonfolio made, queued by the caller's thread.
    struct Note {
        enum class Kind { Renamed, Moved, Removed, FolderChanged } kind;
        std::string path;
        std::string to;
    };

    explicit IndexWorker(LibraryIndexer::Options options);
    ~IndexWorker() override;

    /// Thread-safe: asks a running pass to stop after its folder.
    void requestStop() { stop_ = true; }
    /// Thread-safe: lets work asked for after this run.
    void resume() { stop_ = false; }
    /// Thread-safe: queues a change and has it applied at once, also in the middle of a pass.
    void addNote(Note note);

    // Run on the worker's thread.
    void runPasses(std::vector<RootId> roots);
    void fullCheck(RootId root);
    void confirmMissing(RootId root, bool drop);
    void recheckUnavailable();
    void shutDown();

signals:
    void progress(qint64 files, qint64 foldersLeft, qint64 toMeasure);
    void rootFinished(qint64 root, int state, const QString& status);
    void needsConfirmation(qint64 root, qint64 missing, qint64 files);
    void passOneFinished();
    void measuringIdle();
    void notice(const QString& text);
    void changed();

private:
    bool ensureStore();
    void scanRoot(const LibraryRoot& root, const std::vector<std::string>* folders);
    void reportOutcome(const LibraryRoot& root, const ScanOutcome& outcome);
    /// Brings the full-text index up to what the passes wrote.
    void indexWords();
    bool notesPending();
    void applyNotes();
    void applyNote(const Note& note);
    void folderChanged(const std::string& native);
    void scanChangedFolders();
    void rescanTimed();
    void watchRoot(const LibraryRoot& root);
    void emitProgress(bool now);
    void startMeasuring();

    LibraryIndexer::Options options_;
    std::unique_ptr<LibraryStore> store_;
    std::vector<LibraryRoot> roots_;
    std::atomic<bool> stop_{false};
    std::mutex notesMutex_;
    std::deque<Note> notes_;
    std::unique_ptr<MeasurePass> measure_;
    platform::FolderWatch* watch_ = nullptr;
    bool toldWatchLimit_ = false;
    std::set<RootId> timedRoots_; ///< watched by timed rescans
    std::map<RootId, std::set<std::string>> changedFolders_;
    QTimer settle_;
    QTimer rescan_;
    qint64 files_ = 0, foldersLeft_ = 0, toMeasure_ = 0;
    QElapsedTimer sinceProgress_;
};

} // namespace library
