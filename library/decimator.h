// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A half or a quarter of the rate: a fixed low-pass FIR that keeps every second or fourth output,
// for the measures that read no high frequencies (tempo and key read 11 to 12 kHz) and for sounds
// at two or four times the analysis rate. Far cheaper than a converter for any ratio.

#include <cstddef>
#include <vector>

namespace library {

class Decimator {
public:
    /// Keeps every `factor`th sample (2 or 4), cut at 0.4 of the lower rate's half.
    explicit Decimator(int factor);

    /// Appends the output of `count` input samples to `out`.
    void process(const float* in, std::size_t count, std::vector<float>& out);

private:
    std::size_t factor_;
    std::vector<float> taps_;
    // The last taps-1 input samples, then those not yet used; `next_` is where the next output starts.
    std::vector<float> history_;
    std::size_t next_ = 0;
};

} // namespace library
