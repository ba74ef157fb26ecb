// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/onsetfunction.h"

#include <dsp/transforms/FFT.h>

#include <cmath>

namespace library {

OnsetFunction::OnsetFunction(std::size_t length)
    : fft_(std::make_unique<FFTReal>(int(length))), window_(length), windowed_(length), re_(length), im_(length),
      before_(length / 2 + 1), turn_(length / 2 + 1, {1, 0}), turnBefore_(length / 2 + 1, {1, 0})
{
    for (std::size_t i = 0; i < length; ++i)
        window_[i] = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(length));
}

OnsetFunction::~OnsetFunction() = default;

double OnsetFunction::next(const double* frame)
{
    // Windowed, and rotated by half a frame as the tracker's own phase vocoder does: the phase of a
    // bin after a silent frame (taken as 0) then matches what the tracker was tuned with.
    const std::size_t length = window_.size(), half = length / 2;
    for (std::size_t i = 0; i < length; ++i)
        windowed_[(i + half) % length] = frame[i] * window_[i];
    fft_->forward(windowed_.data(), re_.data(), im_.data());
    double sum = 0;
    for (std::size_t k = 0; k < before_.size(); ++k) {
        // The frame before, turned on by as much as it turned from the one before it: the product
        // of directions stands for the difference of phases, without the cost of angles.
        const Complex& b = before_[k];
        const Complex& t = turn_[k];
        const Complex& u = turnBefore_[k];
        const double tr = t.re * u.re + t.im * u.im, ti = t.im * u.re - t.re * u.im; // t times conj(u)
        const double pr = b.re * tr - b.im * ti, pi = b.re * ti + b.im * tr;
        const double dr = re_[k] - pr, di = im_[k] - pi;
        sum += std::sqrt(dr * dr + di * di);
        // The phase of a silent bin counts as 0.
        const double m = std::sqrt(re_[k] * re_[k] + im_[k] * im_[k]);
        turnBefore_[k] = t;
        turn_[k] = m > 0 ? Complex{re_[k] / m, im_[k] / m} : Complex{1, 0};
        before_[k] = {re_[k], im_[k]};
    }
    return sum;
}

} // namespace library
