// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/decimator.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace library {

namespace {

// 64 taps, Kaiser window of beta 6. A quarter: cut at a tenth of the input rate (4.4 kHz at
// 44.1 kHz), flat to about 3 kHz, 60 dB down from 5.7 kHz, so little folds back below the output's
// 5.5 kHz: enough for the attacks the tempo reads and the partials up to C7 the key reads. A half
// (96 to 48 kHz): flat to about 16 kHz.
constexpr std::size_t kTaps = 64;
constexpr double kBeta = 6;

// Four floats that GCC and Clang keep in one SSE register.
typedef float Vector __attribute__((vector_size(16)));

Vector load(const float* p)
{
    Vector v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

double besselI0(double x)
{
    double sum = 1, term = 1;
    for (int k = 1; k < 30; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

} // namespace

Decimator::Decimator(int factor) : factor_(factor == 2 ? 2 : 4), taps_(kTaps), history_(kTaps - 1, 0.f)
{
    const double cutoff = 0.4 / double(factor_);
    double sum = 0;
    std::vector<double> h(kTaps);
    for (std::size_t i = 0; i < kTaps; ++i) {
        const double t = double(i) - double(kTaps - 1) / 2;
        const double sinc = t == 0 ? 2 * cutoff : std::sin(2 * M_PI * cutoff * t) / (M_PI * t);
        const double r = 2 * t / double(kTaps - 1);
        h[i] = sinc * besselI0(kBeta * std::sqrt(std::max(0.0, 1 - r * r))) / besselI0(kBeta);
        sum += h[i];
    }
    // Unity gain at 0 Hz.
    for (std::size_t i = 0; i < kTaps; ++i)
        taps_[i] = float(h[i] / sum);
}

void Decimator::process(const float* in, std::size_t count, std::vector<float>& out)
{
    history_.insert(history_.end(), in, in + count);
    const float* h = taps_.data();
    while (next_ + kTaps <= history_.size()) {
        const float* x = history_.data() + next_;
        // Four vectors of four sums side by side, so that no sum waits for the one before.
        Vector a = {}, b = {}, c = {}, d = {};
        for (std::size_t i = 0; i < kTaps; i += 16) {
            a += load(x + i) * load(h + i);
            b += load(x + i + 4) * load(h + i + 4);
            c += load(x + i + 8) * load(h + i + 8);
            d += load(x + i + 12) * load(h + i + 12);
        }
        const Vector sum = (a + b) + (c + d);
        out.push_back((sum[0] + sum[1]) + (sum[2] + sum[3]));
        next_ += factor_;
    }
    // Keep what the next outputs still read.
    history_.erase(history_.begin(), history_.begin() + std::ptrdiff_t(next_));
    next_ = 0;
}

} // namespace library
