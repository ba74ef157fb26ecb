// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads the features of a sound (see soundfeatures.h) from its mono mix, as it is decoded: every hop's
// power for the envelope, and at frames spread over the sound the MFCCs (aubio) and the spectrum's
// centroid, flatness, roll-off and crest. Statistics are taken over the frames that sound, so that
// silence before or after a sound does not change how it sounds.

#include "library/soundfeatures.h"

#include <array>
#include <cstddef>
#include <memory>
#include <optional>

namespace library {

class FeatureExtractor {
public:
    /// Mono samples at `rate`, 8 to 96 kHz.
    explicit FeatureExtractor(int rate);
    ~FeatureExtractor();
    FeatureExtractor(const FeatureExtractor&) = delete;
    FeatureExtractor& operator=(const FeatureExtractor&) = delete;

    /// Finite samples, about -1 to 1.
    void add(const float* samples, std::size_t count);
    /// The features of everything added; `pitch` is the sound's note (NaN when it is not one note).
    /// None for digital silence or a sound too quiet to describe.
    std::optional<SoundFeatures> finish(double pitch);

    /// Harmonics 2 to 8 are described.
    static constexpr std::size_t kHarmonicFeatures = 7;

private:
    struct State;
    /// How strong harmonics 2 to 8 are against the first (dB); NaN for a sound that is no note.
    std::array<float, kHarmonicFeatures> harmonics(double pitch) const;
    void hopDone();
    void analyseFrame();
    void addEnvelope(double power);
    std::unique_ptr<State> d_;
};

} // namespace library
