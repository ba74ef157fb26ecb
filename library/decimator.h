// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A quarter of the rate for the measures that read no high frequencies (tempo, key): a fixed
// low-pass FIR that keeps every fourth output. Far cheaper than a converter for any ratio.

#include <cstddef>
#include <vector>

namespace library {

class Decimator {
public:
    static constexpr int kFactor = 4;

    Decimator();

    /// Appends the output of `count` input samples to `out`.
    void process(const float* in, std::size_t count, std::vector<float>& out);

private:
    std::vector<float> taps_;
    // The last taps-1 input samples, then those not yet used; `next_` is where the next output starts.
    std::vector<float> history_;
    std::size_t next_ = 0;
};

} // namespace library
