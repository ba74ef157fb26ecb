// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The tempo of a sound with a steady beat, from a mono mix: onsets found by the Queen Mary DSP
// library's detection function, the beat followed by its tempo tracker, and the result kept only
// where the beats land on real attacks that keep time.

#include <cstddef>
#include <memory>
#include <vector>

namespace library {

class TempoEstimator {
public:
    /// Mono samples at `rate`, 8 to 384 kHz (44.1 or 48 kHz is best).
    explicit TempoEstimator(int rate);
    ~TempoEstimator();
    TempoEstimator(const TempoEstimator&) = delete;
    TempoEstimator& operator=(const TempoEstimator&) = delete;

    /// Finite samples, about -1 to 1.
    void add(const float* samples, std::size_t count);
    /// Beats per minute, or NaN when the sound has no steady beat (or is under 2 s).
    double finish();

private:
    struct State;
    void take(float sample);
    void analyseFrame();
    std::unique_ptr<State> d_;
};

} // namespace library
