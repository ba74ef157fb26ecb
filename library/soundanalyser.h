// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Measures sound files on background threads, one a core, the files asked for first ahead of the
// others, and keeps the results in the measures cache so a folder seen again has them at once.

#include "library/soundanalysis.h"
#include "platform/files/fileidentity.h"

#include <QObject>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace library {

class AnalysisCache;

class SoundAnalyser : public QObject {
    Q_OBJECT
public:
    using Result = std::pair<std::string, SoundAnalysis>; ///< path and its measures

    /// cacheFile: the database's native path; empty for the user's cache folder. threads: how many files
    /// are measured at once, 0 for one a core.
    explicit SoundAnalyser(QObject* parent = nullptr, std::string cacheFile = {}, int threads = 0);
    ~SoundAnalyser() override;

    /// Drops the work still waiting and measures these files (drive-letter paths), in this order.
    /// Results carry the job number given here, so a caller can tell them from an earlier job's.
    /// identities, when given, hold each file's identity as just seen (nothing: no regular file).
    void setFiles(quint64 job, std::vector<std::string> paths,
                  std::vector<std::optional<platform::FileIdentity>> identities = {});
    /// Moves the files named ahead of the other waiting ones, in the order given.
    void prefer(const std::vector<std::string>& paths);
    /// Whether every file of the job has its result delivered.
    bool isIdle() const;
    /// While a sound plays one core fewer measures (one at least), kept for the window and the sound.
    void setSoundPlaying(bool playing);
    int threadCount() const { return int(workers_.size()); }

signals:
    /// Measures of some files of a job; a file that cannot be decoded comes with no measures at all.
    void measured(quint64 job, const std::vector<SoundAnalyser::Result>& results);
    /// Something the user should know about the cache (it was rebuilt, it cannot be written), once.
    void notice(const QString& text);
    /// Every file of the job has its result.
    void finished(quint64 job);

private:
    void run(int index);
    /// Finds the job's files in the cache and delivers what it knows; the rest stay to be measured.
    void lookUp(quint64 job, std::vector<std::string> paths, std::vector<std::optional<platform::FileIdentity>> given);
    /// Measures one file of the job and delivers its result with others.
    void measure(quint64 job, const std::string& path, std::optional<platform::FileIdentity> id);
    void deliver(quint64 job, std::vector<Result> results, bool done);
    /// The cache, opened in the first worker that needs it; under cacheMutex_.
    AnalysisCache& cache();
    void passOnNotice();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::string> pending_;
    std::vector<std::string> jobPaths_;
    std::vector<std::optional<platform::FileIdentity>> jobIdentities_;
    quint64 job_ = 0;     ///< the job last given
    quint64 running_ = 0; ///< the job the workers measure
    bool newJob_ = false;
    int lookingUp_ = 0; ///< workers looking up a job's files in the cache
    int measuring_ = 0; ///< files being measured now
    int active_ = 1;    ///< workers that may measure
    bool stop_ = false;
    /// Of the running job: the identities of the files not in the cache, and results not delivered yet.
    std::unordered_map<std::string, platform::FileIdentity> identities_;
    std::vector<Result> ready_;
    std::chrono::steady_clock::time_point lastDelivery_;
    /// Results of any job not written to the cache yet.
    std::vector<std::pair<platform::FileIdentity, SoundAnalysis>> toStore_;

    std::mutex cacheMutex_;
    std::string cacheFile_;
    std::unique_ptr<AnalysisCache> cache_;
    std::vector<std::thread> workers_;
};

} // namespace library
