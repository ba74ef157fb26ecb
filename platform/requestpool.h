#pragma once
// Many blocking requests to the file system at once: on a cold or slow disk, or a network share, each
// open waits for a round trip, and only many requests in flight keep the device busy. The requests run
// on a fixed pool of threads; the caller takes the results in the order it made the requests.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

/// Requests in flight by default: enough for a disk's queue or a network share's latency, few enough
/// that a folder of small files does not pay for threads it cannot use.
constexpr int kRequestsInFlight = 16;

/// Runs work(request) for every request added, on up to `inFlight` threads. Threads start only as
/// requests wait for one. Destroying the pool drops the requests not yet started and waits for those
/// running.
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
        bool startThread = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(std::move(request));
            results_.emplace_back();
            // A new thread when more requests wait than threads do, up to the pool's size.
            startThread = requests_.size() - next_ > std::size_t(idle_) && int(threads_.size()) < inFlight_;
            if (startThread)
                ++idle_; // counted as waiting until it has taken its first request
        }
        if (startThread)
            threads_.emplace_back([this] { serve(); });
        else
            workAdded_.notify_one();
    }

    /// The result of request `index`, waiting until it is there. Each result is taken once.
    Result take(std::size_t index)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        resultReady_.wait(lock, [&] { return results_[index].has_value(); });
        Result r = std::move(*results_[index]);
        results_[index].reset();
        return r;
    }

    std::size_t size() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_.size();
    }

private:
    void serve()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            workAdded_.wait(lock, [&] { return closed_ || next_ < requests_.size(); });
            if (closed_)
                break;
            --idle_;
            const std::size_t index = next_++;
            const Request request = requests_[index];
            lock.unlock();
            Result result{};
            try {
                result = work_(request);
            } catch (...) {
                result = Result{};
            }
            lock.lock();
            results_[index] = std::move(result);
            ++idle_;
            resultReady_.notify_all();
        }
        --idle_;
    }

    std::function<Result(const Request&)> work_;
    const int inFlight_;
    mutable std::mutex mutex_;
    std::condition_variable workAdded_;
    std::condition_variable resultReady_;
    // deques: adding never moves what a thread is reading or writing.
    std::deque<Request> requests_;
    std::deque<std::optional<Result>> results_;
    std::size_t next_ = 0;
    int idle_ = 0; // threads waiting for a request
    std::vector<std::thread> threads_;
    bool closed_ = false;
};

} // namespace platform
