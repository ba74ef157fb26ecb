// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Converts one channel of a sound to another sample rate, a block at a time (libsamplerate).

#include <cstddef>
#include <vector>

typedef struct SRC_STATE_tag SRC_STATE;

namespace library {

class Resampler {
public:
    enum class Quality { Analysis, Measure };
    /// Whether libsamplerate converts between these rates (at most a factor of 256 either way).
    static bool converts(int fromRate, int toRate);

    /// A converter for rates that converts() accepts; anything else yields no output.
    Resampler(int fromRate, int toRate, Quality quality);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    /// Appends the converted samples of `count` input samples to `out`.
    void process(const float* in, std::size_t count, std::vector<float>& out);
    /// Appends what the converter still holds after the last input.
    void finish(std::vector<float>& out);

private:
    void run(const float* in, std::size_t count, bool last, std::vector<float>& out);

    SRC_STATE* state_ = nullptr;
    double ratio_ = 1;
};

} // namespace library
