// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/soundanalyser.h"

#include "library/analysiscache.h"

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

SoundAnalyser::SoundAnalyser(QObject* parent, std::string cacheFile)
    : QObject(parent), cacheFile_(std::move(cacheFile))
{
    qRegisterMetaType<std::vector<SoundAnalyser::Result>>();
    worker_ = std::thread([this] { run(); });
}

SoundAnalyser::~SoundAnalyser()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        pending_.clear();
    }
    wake_.notify_all();
    worker_.join();
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
    return pending_.empty() && !busy_ && !newJob_;
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

void SoundAnalyser::run()
{
    // The cache opens in this thread, so a slow check of a large file never holds up the window.
    std::unique_ptr<AnalysisCache> cache;
    std::unordered_map<std::string, platform::FileIdentity> identities; // of the job's files not in the cache
    std::vector<Result> ready;
    std::vector<std::pair<platform::FileIdentity, SoundAnalysis>> toStore;
    auto lastDelivery = std::chrono::steady_clock::now();
    quint64 job = 0;

    // What the cache has to tell (set aside, cannot be written) is told once, when it happens.
    auto passOnNotice = [&] {
        const QString text = QString::fromStdString(cache->takeNotice());
        if (!text.isEmpty())
            QMetaObject::invokeMethod(this, [this, text] { emit notice(text); }, Qt::QueuedConnection);
    };
    auto flush = [&](bool done) {
        if (cache && !toStore.empty()) {
            cache->store(toStore);
            passOnNotice();
        }
        toStore.clear();
        if (!ready.empty() || done)
            deliver(job, std::move(ready), done);
        ready.clear();
        lastDelivery = std::chrono::steady_clock::now();
    };

    for (;;) {
        std::vector<std::string> lookups;
        std::vector<std::optional<platform::FileIdentity>> given;
        std::string next;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            busy_ = false;
            wake_.wait(lock, [&] { return stop_ || newJob_ || !pending_.empty(); });
            if (stop_)
                break;
            busy_ = true;
            if (newJob_) {
                newJob_ = false;
                job = job_;
                identities.clear();
                ready.clear();
                lookups = std::move(jobPaths_);
                given = std::move(jobIdentities_);
                jobPaths_.clear();
                jobIdentities_.clear();
                // A job of no files (the caller's way to cancel) has nothing to look up or measure.
                if (lookups.empty())
                    continue;
            } else {
                next = std::move(pending_.front());
                pending_.pop_front();
            }
        }
        if (!cache) {
            cache = std::make_unique<AnalysisCache>(cacheFile_);
            passOnNotice();
        }
        if (!lookups.empty()) {
            // First what the cache knows of the whole job, so a folder seen before fills at once.
            std::unordered_set<std::string> known;
            std::vector<platform::FileIdentity> ids;
            std::vector<size_t> which;
            bool dropped = false;
            for (size_t start = 0; start < lookups.size() && !dropped; start += kLookupBatch) {
                const size_t end = std::min(lookups.size(), start + kLookupBatch);
                const auto found = given.empty() ? identitiesOf(lookups, start, end)
                                                 : std::vector<std::optional<platform::FileIdentity>>(
                                                       given.begin() + std::ptrdiff_t(start),
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
                        ready.back().second.loudness = ready.back().second.peak = std::nan("");
                    }
                }
                std::lock_guard<std::mutex> lock(mutex_);
                dropped = newJob_ || stop_;
            }
            // One read of the cache for the whole job, as the entries of a folder's files lie together.
            if (!dropped) {
                const auto stored = cache->find(ids);
                passOnNotice();
                for (size_t k = 0; k < stored.size(); ++k)
                    if (stored[k]) {
                        known.insert(lookups[which[k]]);
                        ready.emplace_back(lookups[which[k]], *stored[k]);
                    }
            }
            std::lock_guard<std::mutex> lock(mutex_);
            if (!newJob_ && !stop_) {
                pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                              [&](const std::string& p) { return known.count(p) > 0; }),
                               pending_.end());
                const bool done = pending_.empty();
                deliver(job, std::move(ready), done);
                ready.clear();
                lastDelivery = std::chrono::steady_clock::now();
            }
            continue;
        }
        const auto id = identities.find(next);
        auto measures = analyseSound(next);
        SoundAnalysis m;
        if (measures) {
            m = *measures;
            if (id != identities.end())
                toStore.emplace_back(id->second, m);
        } else {
            m.loudness = m.peak = std::nan("");
        }
        ready.emplace_back(next, m);
        bool done = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done = pending_.empty() && !newJob_;
        }
        if (done || ready.size() >= kDeliveryBatch ||
            std::chrono::steady_clock::now() - lastDelivery >= kDeliveryInterval)
            flush(done);
    }
    if (cache && !toStore.empty())
        cache->store(toStore);
}

} // namespace library
