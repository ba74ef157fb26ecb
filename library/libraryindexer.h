// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps the library's index: pass one over the library folders, pass two measuring in the background,
// and afterwards watching the folders for changes (inotify while the system's limit allows, else and on
// network file systems a timed rescan). All of it runs on threads of its own; the caller's thread never
// waits for the disk or the database, and hears of progress by queued signals.

#include "library/librarystore.h"
#include "platform/files/requestpool.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace library {

class IndexWorker;

class LibraryIndexer : public QObject {
    Q_OBJECT
public:
    struct Options {
        /// Opens a connection to the store on the thread that calls it; empty for the SQLite file
        /// `databaseFile` (empty: the user's).
        std::function<std::unique_ptr<LibraryStore>()> openStore;
        std::string databaseFile;
        std::string cacheFile; ///< the measures cache; empty for the user's
        int headerReaders = platform::kRequestsInFlight;
        bool measure = true;
        /// Watch the folders once indexed (a window, a server), or end with the passes (`--index`).
        bool watch = true;
        int rescanSeconds = 300;    ///< timed rescans of folders no watch covers
        int settleMs = 300;         ///< changes reported by watches are gathered this long
        std::size_t watchLimit = 0; ///< 0: half the system's limit
    };

    explicit LibraryIndexer(Options options, QObject* parent = nullptr);
    /// Stops the passes at the next folder, keeping what they wrote, and waits for the threads a few
    /// seconds at most: a pass blocked on a mount that does not answer is left to end on its own.
    ~LibraryIndexer() override;

    /// Pass one over every library folder (or those given), then pass two; watching after, if asked.
    void start(const std::vector<RootId>& roots = {});
    /// Lists every folder of a library folder again and compares each file's size and time.
    void fullCheck(RootId root);
    /// The user's word on files found missing (needsConfirmation): drop them, or keep them.
    void confirmMissing(RootId root, bool drop);
    /// The drives changed: offline library folders may be back.
    void drivesChanged();
    void stop();

    // Changes Tonfolio made itself, in the index at once. Linux paths.
    void noteRenamed(const std::string& from, const std::string& to);
    void noteMoved(const std::string& from, const std::string& toFolder);
    void noteRemoved(const std::string& path);
    /// A folder made, renamed or removed: it and its parent are listed again.
    void noteFolderChanged(const std::string& folder);

signals:
    /// Pass one: files known and folders left; pass two: files left to measure.
    void progress(qint64 files, qint64 foldersLeft, qint64 toMeasure);
    /// A pass over a library folder ended (RootState as int).
    void rootFinished(qint64 root, int state, const QString& status);
    /// Most of a library folder's files went missing; they are kept until confirmMissing.
    void needsConfirmation(qint64 root, qint64 missing, qint64 files);
    void passOneFinished();
    /// Pass two has nothing left to measure now.
    void measuringIdle();
    /// What the user should know (a damaged database set aside, watches run out), once.
    void notice(const QString& text);
    /// The index changed: results shown may be out of date.
    void changed();

private:
    QThread* thread_ = nullptr; ///< not owned once closing gave up waiting for it
    IndexWorker* worker_ = nullptr;
};

} // namespace library
