// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/keydetector.h"

#include <dsp/transforms/FFT.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace library {

namespace {

// Frames of about 186 ms (a power of two of samples), a reading every half frame: fine enough in
// frequency to part the semitones of the bass, short enough to follow a melody.
constexpr double kFrameSeconds = 0.1858;
// The notes read: C2 to C7.
constexpr double kLowestHz = 65.4, kHighestHz = 2093;
// Partials weaker than this below the frame's strongest do not count.
constexpr double kPartialFloorDb = -50;
// A partial holds its pitch when the frame before had one within this many cents.
constexpr double kHoldCents = 25;
// A frame adds to the chroma when at least this share of its power is in held partials.
constexpr double kFrameHeldShare = 0.1;

// What makes a sound tonal and in a key (see finish()): the share of its power in held partials,
// how closely they keep one tuning (1: all on one), how uneven the chroma is (its deviation over its
// mean) and how well it fits the best key's profile (a correlation).
constexpr double kHeldShare = 0.7, kTuned = 0.85, kUneven = 0.4, kFit = 0.6;

// Key profiles (Temperley, from the Kostka-Payne corpus): how much each degree of the scale sounds
// in music of a major or a minor key.
constexpr std::array<double, 12> kMajor = {0.748, 0.060, 0.488, 0.082, 0.670, 0.460, 0.096, 0.715, 0.104, 0.366, 0.057, 0.400};
constexpr std::array<double, 12> kMinor = {0.712, 0.084, 0.474, 0.618, 0.049, 0.460, 0.105, 0.747, 0.404, 0.067, 0.133, 0.330};

double correlation(const std::array<double, 12>& a, const std::array<double, 12>& b)
{
    double ma = 0, mb = 0;
    for (std::size_t i = 0; i < 12; ++i) {
        ma += a[i] / 12;
        mb += b[i] / 12;
    }
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < 12; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

struct Partial {
    double note; // MIDI note with fraction
    double energy;
};

} // namespace

struct KeyDetector::State {
    int rate = 0;
    std::size_t frameLength = 0, hop = 0;
    std::unique_ptr<FFTReal> fft;
    std::vector<double> recent, window, frame, re, im, power;
    std::size_t fill = 0;
    std::vector<Partial> before; // the partials of the frame before
    std::array<double, 12> chroma{};
    double heldEnergy = 0, bandEnergy = 0;
    double tuningRe = 0, tuningIm = 0;
};

KeyDetector::KeyDetector(int rate) : d_(std::make_unique<State>())
{
    if (rate < 8000 || rate > 48000)
        return;
    d_->rate = rate;
    // The power of two nearest the frame's length.
    const std::size_t length = std::size_t(1) << int(std::lround(std::log2(rate * kFrameSeconds)));
    d_->frameLength = length;
    d_->hop = length / 2;
    d_->fft = std::make_unique<FFTReal>(int(length));
    d_->recent.assign(length, 0.0);
    d_->window.resize(length);
    for (std::size_t i = 0; i < length; ++i)
        d_->window[i] = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(length));
    for (auto* v : {&d_->frame, &d_->re, &d_->im})
        v->resize(length);
    d_->power.resize(length / 2 + 1);
}

KeyDetector::~KeyDetector() = default;

void KeyDetector::add(const float* samples, std::size_t count)
{
    if (!d_->fft)
        return;
    const std::size_t frame = d_->frameLength, hop = d_->hop;
    while (count > 0) {
        const std::size_t n = std::min(count, hop - d_->fill);
        std::copy(samples, samples + n, d_->recent.begin() + std::ptrdiff_t(frame - hop + d_->fill));
        samples += n;
        count -= n;
        d_->fill += n;
        if (d_->fill == hop) {
            analyseFrame();
            std::copy(d_->recent.begin() + std::ptrdiff_t(hop), d_->recent.end(), d_->recent.begin());
            d_->fill = 0;
        }
    }
}

void KeyDetector::analyseFrame()
{
    const std::size_t length = d_->frameLength;
    for (std::size_t i = 0; i < length; ++i)
        d_->frame[i] = d_->recent[i] * d_->window[i];
    d_->fft->forward(d_->frame.data(), d_->re.data(), d_->im.data());
    const double binHz = double(d_->rate) / length;
    const auto low = std::size_t(kLowestHz / binHz), high = std::min(length / 2 - 2, std::size_t(kHighestHz / binHz) + 1);
    double strongest = 0, band = 0;
    for (std::size_t k = low - 2; k <= high + 2; ++k) {
        d_->power[k] = d_->re[k] * d_->re[k] + d_->im[k] * d_->im[k];
        if (k >= low && k <= high) {
            strongest = std::max(strongest, d_->power[k]);
            band += d_->power[k];
        }
    }
    d_->bandEnergy += band;
    std::vector<Partial> partials;
    if (!(strongest > 0 && std::isfinite(band))) {
        d_->before.clear();
        return;
    }
    const double floor = strongest * std::pow(10.0, kPartialFloorDb / 10);
    const auto& p = d_->power;
    for (std::size_t k = low; k <= high; ++k) {
        if (p[k] < floor || p[k] <= p[k - 1] || p[k] < p[k + 1] || p[k] <= p[k - 2] || p[k] < p[k + 2])
            continue;
        // Where the peak lies between the bins, from the parabola through the log powers.
        const double a = std::log(p[k - 1] + 1e-300), b = std::log(p[k]), c = std::log(p[k + 1] + 1e-300);
        const double shift = std::clamp(0.5 * (a - c) / (a - 2 * b + c), -0.5, 0.5);
        const double hz = (double(k) + shift) * binHz;
        partials.push_back({69 + 12 * std::log2(hz / 440), p[k - 1] + p[k] + p[k + 1]});
    }
    // Only partials that held their pitch since the frame before count: a note, not a hit or noise.
    std::array<double, 12> frameChroma{};
    double held = 0;
    for (const Partial& q : partials) {
        const bool holds = std::any_of(d_->before.begin(), d_->before.end(), [&](const Partial& o) {
            return std::abs(o.note - q.note) * 100 <= kHoldCents;
        });
        if (!holds)
            continue;
        held += q.energy;
        d_->tuningRe += q.energy * std::cos(2 * M_PI * q.note);
        d_->tuningIm += q.energy * std::sin(2 * M_PI * q.note);
        const double nearest = std::round(q.note);
        const double off = q.note - nearest; // -0.5 to 0.5 semitones
        const double w = std::cos(M_PI * off);
        frameChroma[std::size_t((int(nearest) % 12 + 12) % 12)] += q.energy * w * w;
    }
    d_->before = std::move(partials);
    d_->heldEnergy += held;
    double sum = 0;
    for (double v : frameChroma)
        sum += v;
    // Each frame with notes counts alike, so that a long note weighs as long as it lasts.
    if (sum > 0 && held >= kFrameHeldShare * band)
        for (std::size_t i = 0; i < 12; ++i)
            d_->chroma[i] += frameChroma[i] / sum;
}

std::optional<MusicalKey> KeyDetector::finish()
{
    if (!d_->fft || d_->bandEnergy <= 0 || d_->heldEnergy <= 0)
        return std::nullopt;
    // Tonal: most of the sound in partials that hold their pitch, on one tuning (the partials of
    // a cymbal hold but fall anywhere between the semitones).
    const double held = d_->heldEnergy / d_->bandEnergy;
    const double tuned = std::hypot(d_->tuningRe, d_->tuningIm) / d_->heldEnergy;
    // In a key: some pitch classes sound far more than others (not all twelve alike, as in a
    // chromatic cluster), and in the pattern of a key's profile.
    double mean = 0, variance = 0;
    for (double c : d_->chroma)
        mean += c / 12;
    for (double c : d_->chroma)
        variance += (c - mean) * (c - mean) / 12;
    if (held < kHeldShare || tuned < kTuned || !(std::sqrt(variance) >= kUneven * mean))
        return std::nullopt;
    MusicalKey best;
    double bestFit = -1;
    for (int key = 0; key < 24; ++key) {
        const auto& profile = key < 12 ? kMajor : kMinor;
        std::array<double, 12> rotated{};
        for (std::size_t s = 0; s < 12; ++s)
            rotated[(s + std::size_t(key)) % 12] = profile[s];
        const double fit = correlation(d_->chroma, rotated);
        if (fit > bestFit) {
            bestFit = fit;
            best = {key % 12, key >= 12};
        }
    }
    if (bestFit < kFit)
        return std::nullopt;
    return best;
}

} // namespace library
