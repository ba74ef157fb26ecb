// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The tempo of a sound with a steady beat, from a mono mix: onsets found by the complex spectral
// difference (OnsetFunction), the beat followed by the Queen Mary DSP library's tempo tracker, and
// the result kept only where the beats land on real attacks that keep time.

#include <cstddef>
#include <memory>
#include <vector>

namespace library {

class TempoEstimator {
public:
    /// The sound at `rate` for the attacks, and a copy at a `factor` times lower rate (8 kHz or
    /// more; 11 to 12 kHz is enough) for the onset detection function.
    TempoEstimator(int rate, int factor);
    ~TempoEstimator();
    TempoEstimator(const TempoEstimator&) = delete;
    TempoEstimator& operator=(const TempoEstimator&) = delete;

    /// Finite mono samples at `rate`, about -1 to 1. Their power marks the attacks over the whole
    /// band: a copy cut below some partials would turn a sweep past the cut into attacks.
    void add(const float* samples, std::size_t count);
    /// The same sound at the lower rate.
    void addReduced(const float* samples, std::size_t count);
    /// Beats per minute, or NaN when the sound has no steady beat (or is under 2 s).
    double finish();

private:
    struct State;
    std::unique_ptr<State> d_;
};

} // namespace library
