// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// WavePeaksLoader: gets the envelope of one wave file at a time for the overview picture. The
// decoding runs on a thread of its own, so the window never waits for a file; what is done so far
// can be drawn at once. Envelopes of the last files stay in memory, keyed by the file's path and
// identity (device, inode, size and modification time), so a file replaced or changed is read again.

#include "library/wavepeaks.h"

#include <QObject>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace library {

class WavePeaksLoader : public QObject {
    Q_OBJECT
public:
    enum class State {
        Idle,      ///< no file asked for
        Loading,   ///< the file is being read; peaks() may be null until its format is known
        Ready,     ///< peaks() is complete
        Unreadable ///< the file cannot be decoded, is empty or is gone
    };

    /// How many envelopes stay in memory.
    static constexpr std::size_t kCachedFiles = 32;

    explicit WavePeaksLoader(QObject* parent = nullptr);
    /// Cancels the work still running; its threads end on their own and report nothing more.
    ~WavePeaksLoader() override;

    /// Starts getting the envelope of a drive-letter path. Work for the file asked before is
    /// cancelled at once and never reaches this object again. An empty path clears.
    void load(const std::string& path);
    void clear() { load(std::string()); }

    const std::string& path() const { return path_; }
    State state() const { return state_; }
    /// The envelope of path(), possibly still filling; null while none is known.
    std::shared_ptr<const WavePeaks> peaks() const { return peaks_; }

    /// Threads that have not finished yet (those of cancelled files included).
    int busyThreads();

signals:
    /// The state changed or more of the envelope is done.
    void updated();

private:
    struct Job;
    struct Cache;
    struct Link;

    // On a job's own thread.
    static void work(const std::shared_ptr<Job>& job);
    static void report(const std::shared_ptr<Job>& job, State state, std::shared_ptr<const WavePeaks> peaks);
    static void reportProgress(const std::shared_ptr<Job>& job);

    /// Joins the threads that have finished.
    void reapThreads();

    std::string path_;
    State state_ = State::Idle;
    std::shared_ptr<const WavePeaks> peaks_;
    std::shared_ptr<Job> current_;
    std::shared_ptr<Cache> cache_;
    std::shared_ptr<Link> link_;
    std::vector<std::pair<std::thread, std::shared_ptr<Job>>> threads_;
};

} // namespace library
