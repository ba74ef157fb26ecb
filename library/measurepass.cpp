// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/measurepass.h"

#include "library/analysiscache.h"
#include "library/soundanalysis.h"

#include "platform/files/backgroundwork.h"
#include "platform/files/fileidentity.h"

#include <chrono>
#include <vector>

namespace library {

namespace {

using Clock = std::chrono::steady_clock;

// Files looked up at once, and how often measures are written at the least.
constexpr int kBatch = 16;
constexpr auto kWriteInterval = std::chrono::seconds(2);

FileMeasures fromSound(const std::optional<SoundAnalysis>& m)
{
    FileMeasures out;
    if (!m) {
        out.decoded = false;
        return out;
    }
    out.loudness = m->loudness;
    out.peak = m->peak;
    out.tempo = m->tempo;
    out.pitch = m->pitch;
    out.key = m->key;
    out.features = m->features;
    return out;
}

} // namespace

MeasurePass::MeasurePass(Options options) : options_(std::move(options)) {}

MeasurePass::~MeasurePass()
{
    stop();
    if (thread_.joinable())
        thread_.join();
}

void MeasurePass::start()
{
    if (!thread_.joinable())
        thread_ = std::thread([this] { run(); });
}

void MeasurePass::wake()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
    }
    wake_.notify_one();
}

void MeasurePass::stop()
{
    stop_ = true;
    wake();
}

bool MeasurePass::waitForWork()
{
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [&] { return woken_ || stop_; });
    woken_ = false;
    return !stop_;
}

void MeasurePass::run()
{
    if (options_.lowPriority)
        platform::lowerThreadPriority();
    const std::unique_ptr<LibraryStore> store = options_.openStore();
    if (!store || !store->isOpen())
        return;
    AnalysisCache cache(options_.cacheFile);
    std::int64_t measured = 0;
    std::int64_t left = store->unmeasuredCount();
    std::vector<MeasuredFile> done;
    auto lastWrite = Clock::now();
    auto write = [&] {
        if (!done.empty())
            store->putMeasures(done);
        done.clear();
        lastWrite = Clock::now();
        if (progress_)
            progress_(measured, left);
    };
    FileId after = 0;
    // Whether a file was measured since the list was last begun: files skipped for now (changed since
    // they were listed) are not looked at round and round.
    bool gained = false;
    while (!stop_) {
        std::vector<Unmeasured> next = store->unmeasured(after, kBatch);
        // Files changed in place lose their measures and keep their ids: they are found from the start.
        if (next.empty() && after != 0 && gained) {
            after = 0;
            gained = false;
            continue;
        }
        if (next.empty()) {
            write();
            idle_flag_ = true;
            if (idle_)
                idle_();
            if (!waitForWork())
                break;
            idle_flag_ = false;
            after = 0;
            left = store->unmeasuredCount();
            continue;
        }
        for (const Unmeasured& u : next) {
            if (stop_)
                break;
            after = u.id;
            // The library names its files by their Linux paths; the system layer takes them as they are.
            const std::string& drivePath = u.path;
            const platform::FileIdentity known{u.device, u.inode, u.size, u.modified};
            const std::optional<platform::FileIdentity> now = platform::fileIdentity(drivePath);
            // A file changed since it was listed is measured once the next pass has its new listing.
            if (!now || now->size != u.size || now->modified != u.modified)
                continue;
            std::optional<SoundAnalysis> m = cache.find({known}).front();
            if (!m) {
                m = analyseSound(drivePath);
                if (m)
                    cache.store({{known, *m}});
            }
            done.push_back({u.id, u.size, u.modified, fromSound(m)});
            ++measured;
            gained = true;
            left = std::max<std::int64_t>(0, left - 1);
            if (done.size() >= size_t(kBatch) || Clock::now() - lastWrite >= kWriteInterval)
                write();
        }
    }
    write();
}

} // namespace library
