// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/wavepeaksloader.h"

#include "platform/files/fileidentity.h"
#include "platform/files/threadpriority.h"

#include <QMetaObject>
#include <chrono>
#include <list>
#include <mutex>

namespace library {

using platform::FileIdentity;

namespace {

// The picture is brought up to date at most this often while a file is read, so the window's
// event loop never fills up with progress reports.
constexpr auto kProgressInterval = std::chrono::milliseconds(25);

} // namespace

/// The way from a thread back to its loader; cut when the loader goes.
struct WavePeaksLoader::Link {
    std::mutex mutex;
    WavePeaksLoader* loader;
};

struct WavePeaksLoader::Job {
    std::string path;
    std::shared_ptr<Cache> cache;
    std::shared_ptr<Link> link;
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> progressPending{false};
};

struct WavePeaksLoader::Cache {
    struct Entry {
        std::string path;
        FileIdentity stamp;
        std::shared_ptr<const WavePeaks> peaks;
    };
    std::mutex mutex;
    std::list<Entry> entries; // most recently used first

    std::shared_ptr<const WavePeaks> find(const std::string& path, const FileIdentity& stamp)
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (it->path == path && it->stamp == stamp) {
                entries.splice(entries.begin(), entries, it);
                return it->peaks;
            }
        }
        return nullptr;
    }
    void insert(const std::string& path, const FileIdentity& stamp, std::shared_ptr<const WavePeaks> peaks)
    {
        std::lock_guard<std::mutex> lock(mutex);
        // An older version of the same file is of no use any more.
        entries.remove_if([&](const Entry& e) { return e.path == path; });
        entries.push_front(Entry{path, stamp, std::move(peaks)});
        if (entries.size() > kCachedFiles)
            entries.pop_back();
    }
};

WavePeaksLoader::WavePeaksLoader(QObject* parent)
    : QObject(parent), cache_(std::make_shared<Cache>()), link_(std::make_shared<Link>())
{
    link_->loader = this;
}

WavePeaksLoader::~WavePeaksLoader()
{
    {
        std::lock_guard<std::mutex> lock(link_->mutex);
        link_->loader = nullptr;
    }
    for (auto& t : threads_)
        t.second->cancel = true;
    reapThreads();
    // A thread still inside a system call (a file on a server that went away, say) is left to end
    // on its own: it holds all it needs, and the window must not wait for it.
    for (auto& t : threads_)
        t.first.detach();
}

void WavePeaksLoader::load(const std::string& path)
{
    if (current_)
        current_->cancel = true;
    current_.reset();
    reapThreads();
    path_ = path;
    peaks_.reset();
    state_ = path.empty() ? State::Idle : State::Loading;
    if (!path.empty()) {
        current_ = std::make_shared<Job>();
        current_->path = path;
        current_->cache = cache_;
        current_->link = link_;
        auto job = current_;
        threads_.emplace_back(std::thread([job] {
                                  // Reading a file for a picture must never make the window stutter.
                                  platform::lowerThreadPriority();
                                  work(job);
                              }),
                              job);
    }
    emit updated();
}

int WavePeaksLoader::busyThreads()
{
    reapThreads();
    return int(threads_.size());
}

void WavePeaksLoader::reapThreads()
{
    for (auto it = threads_.begin(); it != threads_.end();) {
        if (it->second->finished) {
            it->first.join();
            it = threads_.erase(it);
        } else {
            ++it;
        }
    }
}

void WavePeaksLoader::work(const std::shared_ptr<Job>& job)
{
    struct Finish {
        Job& job;
        ~Finish() { job.finished = true; }
    } finish{*job};

    const std::optional<FileIdentity> stamp = platform::fileIdentity(job->path);
    if (!stamp) {
        report(job, State::Unreadable, nullptr);
        return;
    }
    if (auto cached = job->cache->find(job->path, *stamp)) {
        report(job, State::Ready, std::move(cached));
        return;
    }
    const std::unique_ptr<WavePeakScanner> scanner = WavePeakScanner::open(job->path);
    if (!scanner) {
        report(job, State::Unreadable, nullptr);
        return;
    }
    const std::shared_ptr<const WavePeaks> peaks = scanner->peaks();
    report(job, State::Loading, peaks);
    auto last = std::chrono::steady_clock::now();
    const bool complete = scanner->run(job->cancel, [&](int) {
        const auto now = std::chrono::steady_clock::now();
        if (now - last >= kProgressInterval) {
            last = now;
            reportProgress(job);
        }
    });
    if (!complete)
        return;
    // A file that changed while it was read gives a picture of neither version to keep.
    if (platform::fileIdentity(job->path) == stamp)
        job->cache->insert(job->path, *stamp, peaks);
    report(job, State::Ready, peaks);
}

void WavePeaksLoader::report(const std::shared_ptr<Job>& job, State state, std::shared_ptr<const WavePeaks> peaks)
{
    std::lock_guard<std::mutex> lock(job->link->mutex);
    WavePeaksLoader* loader = job->link->loader;
    if (!loader)
        return;
    QMetaObject::invokeMethod(
        loader,
        [loader, job, state, peaks = std::move(peaks)] {
            if (job != loader->current_)
                return; // the selection has moved on
            loader->state_ = state;
            loader->peaks_ = peaks;
            emit loader->updated();
        },
        Qt::QueuedConnection);
}

void WavePeaksLoader::reportProgress(const std::shared_ptr<Job>& job)
{
    if (job->progressPending.exchange(true))
        return;
    std::lock_guard<std::mutex> lock(job->link->mutex);
    WavePeaksLoader* loader = job->link->loader;
    if (!loader)
        return;
    QMetaObject::invokeMethod(
        loader,
        [loader, job] {
            job->progressPending = false;
            if (job == loader->current_)
                emit loader->updated();
        },
        Qt::QueuedConnection);
}

} // namespace library
