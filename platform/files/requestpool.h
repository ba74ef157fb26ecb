// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Many blocking requests to the file system at once: on a cold or slow disk, or a network share, each
// open waits for a round trip, and only many requests in flight keep the device busy. The requests run
// on a fixed pool of threads; the caller takes the results in the order it made the requests.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

/// Requests in flight by default: enough for a disk's queue or a network share's latency, few enough
/// that a folder of small files does not pay for threads it cannot use.
constexpr int kRequestsInFlight = 16;

/// Runs work(request) for every request added, on up to `inFlight` threads. Threads start only as
/// requests wait for one. Destroying the pool drops the requests not yet started and waits for those
/// running. add and take belong to the thread that owns the pool.
/// work must be safe to run on several threads at once; an exception from it ends that request with
/// a default Result.
template <class Request, class Result>
class RequestPool {
public:
    explicit RequestPool(std::function<Result(const Request&)> work, int inFlight = kRequestsInFlight)
        : work_(std::move(work)), inFlight_(inFlight < 1 ? 1 : inFlight)
    {
    }
    ~RequestPool()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
        }
        workAdded_.notify_all();
        for (std::thread& t : threads_)
            t.join();
    }
    RequestPool(const RequestPool&) = delete;
    RequestPool& operator=(const RequestPool&) = delete;

    /// Queues a request; its result has the next index (0, 1, 2, ...).
    void add(Request request)
    {
        pending_.push_back(std::move(request));
        // Requests are handed over in batches of growing size: the first at once, so that the disk has
        // work from the start, later ones by the hundred, so that the owner seldom waits for the lock
        // while the threads take their turns on it.
        if (pending_.size() >= batch_) {
            handOver();
            batch_ = std::min(batch_ * 2, kMaxBatch);
        }
    }

    /// The result of request `index`, waiting until it is there. Each result is taken once.
    Result take(std::size_t index)
    {
        if (!pending_.empty())
            handOver();
        std::unique_lock<std::mutex> lock(mutex_);
        // Rather than wait, the owner serves requests itself while some are left: when the files are in
        // memory, that is quicker than waking a thread for them.
        while (!results_[index].has_value() && next_ < requests_.size())
            serveShare(lock);
        awaited_ = index;
        resultReady_.wait(lock, [&] { return results_[index].has_value(); });
        awaited_ = kNone;
        Result r = std::move(*results_[index]);
        results_[index].reset();
        return r;
    }

private:
    static constexpr std::size_t kMaxBatch = 256;
    static constexpr std::size_t kNone = std::size_t(-1);

    void handOver()
    {
        int start = 0;
        std::size_t wake = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (Request& r : pending_) {
                requests_.push_back(std::move(r));
                results_.emplace_back();
            }
            // A new thread for each request that no waiting thread takes, up to the pool's size.
            const std::size_t waiting = requests_.size() - next_;
            const std::size_t spare = std::size_t(std::max(0, idle_));
            if (waiting > spare)
                start = int(std::min<std::size_t>(waiting - spare, std::size_t(inFlight_ - started_)));
            wake = std::min(pending_.size(), spare);
            idle_ += start; // counted as waiting until they have taken their first requests
            started_ += start;
        }
        pending_.clear();
        for (int i = 0; i < start; ++i) {
            try {
                threads_.emplace_back([this] { serve(); });
            } catch (const std::system_error&) {
                // No more threads to be had: the ones running and the owner in take() serve the rest.
                std::lock_guard<std::mutex> lock(mutex_);
                idle_ -= start - i;
                started_ -= start - i;
                break;
            }
        }
        // Only as many waiting threads as there are new requests for them.
        for (std::size_t i = 0; i < wake; ++i)
            workAdded_.notify_one();
    }

    void serve()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            workAdded_.wait(lock, [&] { return closed_ || next_ < requests_.size(); });
            if (closed_)
                break;
            --idle_;
            serveShare(lock);
            ++idle_;
        }
        --idle_;
    }

    // Takes a share of the waiting requests and serves them; called and returns with the lock held.
    // A share of several requests spares turns on the lock, and still spreads them over all threads.
    void serveShare(std::unique_lock<std::mutex>& lock)
    {
        const std::size_t first = next_;
        const std::size_t share = (requests_.size() - next_) / (2 * std::size_t(started_) + 1);
        const std::size_t count = std::max<std::size_t>(1, std::min<std::size_t>(share, 8));
        next_ += count;
        std::vector<Request> taken(requests_.begin() + std::ptrdiff_t(first),
                                   requests_.begin() + std::ptrdiff_t(first + count));
        lock.unlock();
        std::vector<Result> done;
        done.reserve(count);
        for (const Request& request : taken) {
            try {
                done.push_back(work_(request));
            } catch (...) {
                done.push_back(Result{});
            }
        }
        lock.lock();
        for (std::size_t i = 0; i < count; ++i)
            results_[first + i] = std::move(done[i]);
        if (awaited_ != kNone && awaited_ >= first && awaited_ < first + count)
            resultReady_.notify_one();
    }

    std::function<Result(const Request&)> work_;
    const int inFlight_;
    std::vector<Request> pending_; // added, not yet handed over; the owner's only
    std::size_t batch_ = 1;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable workAdded_;
    std::condition_variable resultReady_;
    // deques: adding never moves what a thread is reading or writing.
    std::deque<Request> requests_;
    std::deque<std::optional<Result>> results_;
    std::size_t next_ = 0;
    std::size_t awaited_ = kNone;
    int started_ = 0; // threads started, as the threads see it
    int idle_ = 0; // threads waiting for a request
    bool closed_ = false;
};

} // namespace platform
