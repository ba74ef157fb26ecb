// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pass two: measures the library's files not measured yet, one after another, in the background at low
// priority, taking what the measures cache already knows. It goes on where it stopped, as the files
// still without measures are those it did not reach.

#include "library/librarystore.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace library {

class MeasurePass {
public:
    struct Options {
        std::function<std::unique_ptr<LibraryStore>()> openStore;
        std::string cacheFile; ///< the measures cache; empty for the user's
        bool lowPriority = true;
    };
    /// Measured so far in this run, and left; called on the pass's thread.
    using Progress = std::function<void(std::int64_t measured, std::int64_t left)>;

    explicit MeasurePass(Options options);
    /// Stops after the file at hand and waits for that.
    ~MeasurePass();
    MeasurePass(const MeasurePass&) = delete;
    MeasurePass& operator=(const MeasurePass&) = delete;

    /// Set before start().
    void setProgress(Progress progress) { progress_ = std::move(progress); }
    /// Called on the pass's thread each time nothing is left to measure.
    void setIdle(std::function<void()> idle) { idle_ = std::move(idle); }

    void start();
    /// New files may wait: looks again.
    void wake();
    void stop();
    bool isIdle() const { return idle_flag_.load(); }

private:
    void run();
    /// Waits for wake() or stop(); false when stopping.
    bool waitForWork();

    Options options_;
    Progress progress_;
    std::function<void()> idle_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool woken_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<bool> idle_flag_{false};
    std::thread thread_;
};

} // namespace library
