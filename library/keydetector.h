// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The musical key of a tonal sound, from a mono mix: a chroma of the partials that hold their pitch
// from one frame to the next (noise and drum hits have none that do), matched against key profiles.

#include "library/musicalkey.h"

#include <cstddef>
#include <memory>
#include <optional>

namespace library {

class KeyDetector {
public:
    /// Mono samples at `rate`, 8 to 48 kHz; partials up to C7 need no more than 11 to 12 kHz.
    explicit KeyDetector(int rate);
    ~KeyDetector();
    KeyDetector(const KeyDetector&) = delete;
    KeyDetector& operator=(const KeyDetector&) = delete;

    /// Finite samples, about -1 to 1.
    void add(const float* samples, std::size_t count);
    /// The key, or nothing when no key stands out (noise, drums, speech, atonal music, silence).
    std::optional<MusicalKey> finish();

private:
    struct State;
    void analyseFrame();
    std::unique_ptr<State> d_;
};

} // namespace library
