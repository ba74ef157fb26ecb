// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pitch of a sound that holds one note, from a mono mix: aubio's YIN finds the note frame by
// frame, and the phase of the strongest partial across two nearby frames fixes its frequency to a
// cent, where YIN's period, a few samples long for high notes, cannot.

#include <cstddef>
#include <memory>

namespace library {

class PitchEstimator {
public:
    /// Mono samples at `rate`, 8 to 48 kHz.
    explicit PitchEstimator(int rate);
    ~PitchEstimator();
    PitchEstimator(const PitchEstimator&) = delete;
    PitchEstimator& operator=(const PitchEstimator&) = delete;

    /// Finite samples, about -1 to 1.
    void add(const float* samples, std::size_t count);
    /// MIDI note number with its fraction (69 = A4 = 440 Hz), or NaN when the sound is not one note.
    double finish();

private:
    struct State;
    void analyseFrame();
    /// The frequency of the strongest partial near the first harmonics of `hz`, from its phase.
    double refined(double hz);
    std::unique_ptr<State> d_;
};

} // namespace library
