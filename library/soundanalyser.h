// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Measures sound files in a background thread, the files asked for first ahead of the others, and
// keeps the results in the measures cache so a folder seen again has them at once.

#include "library/soundanalysis.h"
#include "platform/files/fileidentity.h"

#include <QObject>
#include <QString>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace library {

class SoundAnalyser : public QObject {
    Q_OBJECT
public:
    using Result = std::pair<std::string, SoundAnalysis>; ///< path and its measures

    /// cacheFile: the database's native path; empty for the user's cache folder.
    explicit SoundAnalyser(QObject* parent = nullptr, std::string cacheFile = {});
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

signals:
    /// Measures of some files of a job; a file that cannot be decoded comes with no measures at all.
    void measured(quint64 job, const std::vector<SoundAnalyser::Result>& results);
    /// Something the user should know about the cache (it was rebuilt, it cannot be written), once.
    void notice(const QString& text);
    /// Every file of the job has its result.
    void finished(quint64 job);

private:
    void run();
    void deliver(quint64 job, std::vector<Result> results, bool done);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::string> pending_;
    std::vector<std::string> jobPaths_;
    std::vector<std::optional<platform::FileIdentity>> jobIdentities_;
    quint64 job_ = 0;
    bool newJob_ = false;
    bool busy_ = false;
    bool stop_ = false;
    std::string cacheFile_;
    std::thread worker_;
};

} // namespace library
