// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The envelope of a wave file for its overview picture: for each of a fixed number of equal
// stretches of the sound, per band, the lowest and highest sample and the loudness (RMS).
// Decoded as playing decodes, so every file that plays has an envelope.

#include "platform/sound/soundreader.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace library {

/// One stretch of one band. A stretch the decoder never reached is empty (low > high).
struct PeakBin {
    float low = 1.0f;
    float high = -1.0f;
    float rms = 0.0f;
    bool empty() const { return low > high; }
};

/// The envelope of one file. Its size depends only on the resolution, never on the file's length.
/// One writer fills the bins left to right; readers may look at the bins done at any time.
class WavePeaks {
public:
    /// The most stretches an envelope holds; short files get one per frame.
    static constexpr int kMaxBins = 8192;

    /// An envelope of `bands` bands (1 or 2) for `frames` frames at `rate` frames per second.
    WavePeaks(int bands, int rate, std::int64_t frames);

    int bands() const { return bands_; }
    int rate() const { return rate_; }
    std::int64_t frames() const { return frames_; }
    int bins() const { return bins_; }
    double seconds() const { return rate_ > 0 ? double(frames_) / rate_ : 0.0; }
    /// First frame of a stretch; binStart(bins()) is frames(). Whole stretches and the remainder apart,
    /// so that no header's frame count can overflow the product.
    std::int64_t binStart(int bin) const { return frames_ / bins_ * bin + frames_ % bins_ * bin / bins_; }

    /// Stretches finished so far (from the left); they do not change any more.
    int binsDone() const { return done_.load(std::memory_order_acquire); }
    bool complete() const { return binsDone() == bins_; }
    const PeakBin& bin(int band, int index) const { return data_[std::size_t(band) * std::size_t(bins_) + index]; }

    /// For the writer: sets a stretch before it is marked done.
    PeakBin& binToWrite(int band, int index) { return data_[std::size_t(band) * std::size_t(bins_) + index]; }
    /// For the writer: publishes the stretches before `count`.
    void markDone(int count) { done_.store(count, std::memory_order_release); }

private:
    int bands_;
    int rate_;
    std::int64_t frames_;
    int bins_;
    std::vector<PeakBin> data_;
    std::atomic<int> done_{0};
};

/// Decodes one wave file in a single pass into its envelope, on the caller's thread.
class WavePeakScanner {
public:
    ~WavePeakScanner();
    WavePeakScanner(const WavePeakScanner&) = delete;
    WavePeakScanner& operator=(const WavePeakScanner&) = delete;

    /// Null when the file cannot be opened or decoded, or holds no samples.
    static std::unique_ptr<WavePeakScanner> open(const std::string& path);

    /// The envelope being filled; bands, length and rate are known from the start.
    std::shared_ptr<WavePeaks> peaks() const { return peaks_; }

    /// Reads the file to its end, unless `cancel` turns true; the check comes every few
    /// milliseconds of work. `progress` is called now and then with the stretches done.
    /// Returns whether the envelope is complete. Stretches past an early end of the data stay empty.
    bool run(const std::atomic<bool>& cancel, const std::function<void(int binsDone)>& progress = {});

private:
    WavePeakScanner() = default;

    std::unique_ptr<platform::SoundReader> reader_;
    std::shared_ptr<WavePeaks> peaks_;
};

} // namespace library
