// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/soundanalyser.h"

#include "library/analysiscache.h"
#include "platform/files/threadpriority.h"

#include <QMetaObject>
#include <QPointer>
#include <algorithm>
#include <chrono>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace library {

namespace {

// Results go to the window and the cache in batches: at most this often, or this many at once.
constexpr auto kDeliveryInterval = std::chrono::milliseconds(200);
constexpr size_t kDeliveryBatch = 64;
// Files are identified in batches this large, so a new job or a stop is seen between them.
constexpr size_t kLookupBatch = 2048;

/// The identities of paths[start, end), the files of each folder looked up together.
std::vector<std::optional<platform::FileIdentity>> identitiesOf(const std::vector<std::string>& paths, size_t start,
                                                               size_t end)
{
    std::vector<std::optional<platform::FileIdentity>> out;
    out.reserve(end - start);
    std::vector<std::string> names;
    for (size_t i = start; i < end;) {
        const size_t cut = paths[i].rfind('\\');
        const std::string folder = cut == std::string::npos ? std::string() : paths[i].substr(0, cut + 1);
        names.clear();
        for (; i < end && paths[i].size() > folder.size() && paths[i].compare(0, folder.size(), folder) == 0 &&
               paths[i].find('\\', folder.size()) == std::string::npos;
             ++i)
            names.push_back(paths[i].substr(folder.size()));
        if (names.empty()) {
            out.push_back(platform::fileIdentity(paths[i]));
            ++i;
            continue;
        }
        for (auto& id : platform::fileIdentitiesIn(folder, names))
            out.push_back(id);
    }
    return out;
}

} // namespace

SoundAnalyser::SoundAnalyser(QObject* parent, std::string cacheFile, int threads)
    : QObject(parent), cacheFile_(std::move(cacheFile))
{
    qRegisterMetaType<std::vector<SoundAnalyser::Result>>();
    if (threads <= 0)
        threads = int(std::max(1u, std::thread::hardware_concurrency()));
    active_ = threads;
    for (int i = 0; i < threads; ++i)
        workers_.emplace_back([this, i] { run(i); });
}

SoundAnalyser::~SoundAnalyser()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        pending_.clear();
    }
    wake_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
    if (!toStore_.empty())
        cache().store(toStore_);
}

void SoundAnalyser::setFiles(quint64 job, std::vector<std::string> paths,
                             std::vector<std::optional<platform::FileIdentity>> identities)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_ = job;
        pending_.assign(paths.begin(), paths.end());
        jobPaths_ = std::move(paths);
        jobIdentities_ = identities.size() == jobPaths_.size() ? std::move(identities)
                                                                : std::vector<std::optional<platform::FileIdentity>>();
        newJob_ = true;
    }
    wake_.notify_all();
}

void SoundAnalyser::prefer(const std::vector<std::string>& paths)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_.empty() || paths.empty())
        return;
    std::unordered_map<std::string, size_t> rank;
    for (size_t i = 0; i < paths.size(); ++i)
        rank.emplace(paths[i], i);
    std::stable_partition(pending_.begin(), pending_.end(), [&](const std::string& p) { return rank.count(p) > 0; });
    const auto firstOther =
        std::find_if(pending_.begin(), pending_.end(), [&](const std::string& p) { return rank.count(p) == 0; });
    std::sort(pending_.begin(), firstOther, [&](const std::string& a, const std::string& b) { return rank[a] < rank[b]; });
}

bool SoundAnalyser::isIdle() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_.empty() && measuring_ == 0 && !newJob_ && lookingUp_ == 0;
}

void SoundAnalyser::setSoundPlaying(bool playing)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const int all = int(workers_.size());
        active_ = playing ? std::max(1, all - 1) : all;
    }
    wake_.notify_all();
}

void SoundAnalyser::deliver(quint64 job, std::vector<Result> results, bool done)
{
    // Queued to the object's thread; a result for an object already gone is dropped with the event.
    QMetaObject::invokeMethod(
        this,
        [this, job, results = std::move(results), done] {
            if (!results.empty())
                emit measured(job, results);
            if (done)
                emit finished(job);
        },
        Qt::QueuedConnection);
}

AnalysisCache& SoundAnalyser::cache()
{
    // Opened away from the window, so a slow check of a large file never holds it up.
    if (!cache_) {
        cache_ = std::make_unique<AnalysisCache>(cacheFile_);
        passOnNotice();
    }
    return *cache_;
}

void SoundAnalyser::passOnNotice()
{
    // What the cache has to tell (set aside, cannot be written) is told once, when it happens.
    const QString text = QString::fromStdString(cache_->takeNotice());
    if (!text.isEmpty())
        QMetaObject::invokeMethod(
            this, [this, text] { emit notice(text); }, Qt::QueuedConnection);
}

void SoundAnalyser::run(int index)
{
    platform::lowerThreadPriority();
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [&] { return stop_ || newJob_ || (lookingUp_ == 0 && index < active_ && !pending_.empty()); });
        if (stop_)
            break;
        if (newJob_) {
            newJob_ = false;
            running_ = job_;
            identities_.clear();
            ready_.clear();
            std::vector<std::string> paths = std::move(jobPaths_);
            auto given = std::move(jobIdentities_);
            jobPaths_.clear();
            jobIdentities_.clear();
            // A job of no files (the caller's way to cancel) has nothing to look up or measure.
            if (paths.empty())
                continue;
            ++lookingUp_;
            const quint64 job = running_;
            lock.unlock();
            lookUp(job, std::move(paths), std::move(given));
            lock.lock();
            --lookingUp_;
            lock.unlock();
            wake_.notify_all();
            continue;
        }
        std::string next = std::move(pending_.front());
        pending_.pop_front();
        ++measuring_;
        std::optional<platform::FileIdentity> id;
        if (const auto found = identities_.find(next); found != identities_.end())
            id = found->second;
        const quint64 job = running_;
        lock.unlock();
        measure(job, next, id);
    }
}

void SoundAnalyser::lookUp(quint64 job, std::vector<std::string> lookups,
                           std::vector<std::optional<platform::FileIdentity>> given)
{
    // First what the cache knows of the whole job, so a folder seen before fills at once.
    std::unordered_map<std::string, platform::FileIdentity> identities;
    std::unordered_set<std::string> known;
    std::vector<Result> ready;
    std::vector<platform::FileIdentity> ids;
    std::vector<size_t> which;
    bool dropped = false;
    for (size_t start = 0; start < lookups.size() && !dropped; start += kLookupBatch) {
        const size_t end = std::min(lookups.size(), start + kLookupBatch);
        const auto found =
            given.empty() ? identitiesOf(lookups, start, end)
                          : std::vector<std::optional<platform::FileIdentity>>(given.begin() + std::ptrdiff_t(start),
                                                                               given.begin() + std::ptrdiff_t(end));
        for (size_t i = start; i < end; ++i) {
            if (const auto& id = found[i - start]) {
                identities.emplace(lookups[i], *id);
                ids.push_back(*id);
                which.push_back(i);
            } else {
                // Not a regular file: nothing to measure.
                known.insert(lookups[i]);
                ready.emplace_back(lookups[i], SoundAnalysis{});
            }
        }
        std::lock_guard<std::mutex> lock(mutex_);
        dropped = newJob_ || stop_;
    }
    // One read of the cache for the whole job, as the entries of a folder's files lie together.
    if (!dropped) {
        std::lock_guard<std::mutex> lock(cacheMutex_);
        const auto stored = cache().find(ids);
        passOnNotice();
        for (size_t k = 0; k < stored.size(); ++k)
            if (stored[k]) {
                known.insert(lookups[which[k]]);
                ready.emplace_back(lookups[which[k]], *stored[k]);
            }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (newJob_ || stop_ || job != running_)
        return;
    identities_ = std::move(identities);
    pending_.erase(
        std::remove_if(pending_.begin(), pending_.end(), [&](const std::string& p) { return known.count(p) > 0; }),
        pending_.end());
    deliver(job, std::move(ready), pending_.empty());
    lastDelivery_ = std::chrono::steady_clock::now();
}

void SoundAnalyser::measure(quint64 job, const std::string& path, std::optional<platform::FileIdentity> id)
{
    // A file that cannot be decoded comes with no measures at all.
    const SoundAnalysis m = analyseSound(path).value_or(SoundAnalysis{});
    std::vector<std::pair<platform::FileIdentity, SoundAnalysis>> toStore;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --measuring_;
        // Measures of a job that was replaced are still right, and kept.
        if (id)
            toStore_.emplace_back(*id, m);
        if (job != running_)
            return;
        ready_.emplace_back(path, m);
        const bool done = pending_.empty() && measuring_ == 0 && !newJob_;
        if (!done && ready_.size() < kDeliveryBatch &&
            std::chrono::steady_clock::now() - lastDelivery_ < kDeliveryInterval)
            return;
        // Delivered under the lock: the batches arrive in the order they were made, the last one last.
        deliver(job, std::exchange(ready_, {}), done);
        lastDelivery_ = std::chrono::steady_clock::now();
        toStore = std::exchange(toStore_, {});
    }
    if (!toStore.empty()) {
        std::lock_guard<std::mutex> lock(cacheMutex_);
        cache().store(toStore);
        passOnNotice();
    }
}

} // namespace library
