// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The complex spectral difference, the onset detection function the Queen Mary tempo tracker was
// made for: how far each bin of a frame's spectrum strays from where the two frames before it
// predict it (same magnitude, phase turning at the same speed), summed over the bins.

#include <cstddef>
#include <memory>
#include <vector>

class FFTReal;

namespace library {

class OnsetFunction {
public:
    /// Frames of `length` samples, a power of two.
    explicit OnsetFunction(std::size_t length);
    ~OnsetFunction();
    OnsetFunction(const OnsetFunction&) = delete;
    OnsetFunction& operator=(const OnsetFunction&) = delete;

    /// The function's value for the next frame (Hann-windowed here).
    double next(const double* frame);

private:
    std::unique_ptr<FFTReal> fft_;
    std::vector<double> window_, windowed_, re_, im_;
    struct Complex {
        double re = 0, im = 0;
    };
    // Per bin: the spectrum of the frame before, the direction of its phase (a unit number), and
    // that of the frame before that.
    std::vector<Complex> before_, turn_, turnBefore_;
};

} // namespace library
