// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/tempoestimator.h"

#include "library/onsetfunction.h"

#include <dsp/tempotracking/TempoTrackV2.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace library {

namespace {

// About 11.6 ms between readings of the detection function, the step its tracker was tuned for.
constexpr double kStepSeconds = 0.01161;
// A one-shot has no tempo.
constexpr double kShortestSeconds = 2.0;
// The tracker reads the detection function in windows of 512 steps, moved by 128, and needs two
// windows or more; it is given at least three.
constexpr std::size_t kTrackerFrames = 512 + 2 * 128 + 1 + 64;
// The tempo range a beat is looked for in; the pulses 2 and 4 times faster or slower are tried.
constexpr double kFastestBpm = 205, kSlowestBpm = 55;
// A strong hit: at least this share of the hits of the loudest tenth, and of the loudest hit.
constexpr double kStrongOfLoud = 0.2, kStrongOfLoudest = 0.05;
// A pulse whose beats carry strong hits this often is the beat, unless a faster one is too.
constexpr double kBeatPresence = 0.6;
// A steady beat: at least this many beats in the sound (a bar and a half), and at least this
// product of how many beats carry a strong hit, how much of the strong hits' power falls on the
// beats, and how much of all hits' power falls on beats and half-beats.
constexpr double kFewestBeats = 6, kSteadiness = 0.2;

int nextPowerOfTwo(int n)
{
    int p = 1;
    while (p < n)
        p *= 2;
    return p;
}

double sumOfSquares(const float* samples, std::size_t count)
{
    // Four sums side by side, so that no addition waits for the one before.
    double s[4] = {0, 0, 0, 0};
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4)
        for (std::size_t j = 0; j < 4; ++j)
            s[j] += double(samples[i + j]) * samples[i + j];
    for (; i < count; ++i)
        s[0] += double(samples[i]) * samples[i];
    return (s[0] + s[1]) + (s[2] + s[3]);
}

/// A pulse: a period and the place of one of its beats, in steps.
struct Grid {
    double period, phase;
};

} // namespace

struct TempoEstimator::State {
    int rate = 0; // of the detection function
    int step = 0, window = 0;
    std::unique_ptr<OnsetFunction> onsets;
    std::vector<double> frame; // the last `window` samples
    std::size_t fill = 0;      // new samples since the last reading
    std::size_t samples = 0;
    // The power of the full band: samples per step, and the sum of squares of this step's so far.
    std::size_t powerStep = 0, powerFill = 0;
    double power = 0;
    // Per step: the detection function, and the power of the step's samples.
    std::vector<double> detection, energy;
};

TempoEstimator::TempoEstimator(int rate, int factor) : d_(std::make_unique<State>())
{
    if (factor < 1 || rate / factor < 8000 || rate > 384000)
        return;
    rate /= factor;
    d_->rate = rate;
    d_->step = int(std::lround(rate * kStepSeconds));
    d_->window = nextPowerOfTwo(rate / 50);
    d_->powerStep = std::size_t(d_->step) * std::size_t(factor);
    d_->onsets = std::make_unique<OnsetFunction>(std::size_t(d_->window));
    d_->frame.assign(std::size_t(d_->window), 0.0);
}

TempoEstimator::~TempoEstimator() = default;

void TempoEstimator::add(const float* samples, std::size_t count)
{
    if (!d_->onsets)
        return;
    while (count > 0) {
        const std::size_t n = std::min(count, d_->powerStep - d_->powerFill);
        d_->power += sumOfSquares(samples, n);
        samples += n;
        count -= n;
        d_->powerFill += n;
        if (d_->powerFill == d_->powerStep) {
            d_->energy.push_back(d_->power / double(d_->powerStep));
            d_->power = 0;
            d_->powerFill = 0;
        }
    }
}

void TempoEstimator::addReduced(const float* samples, std::size_t count)
{
    if (!d_->onsets)
        return;
    const auto window = std::size_t(d_->window), step = std::size_t(d_->step);
    d_->samples += count;
    while (count > 0) {
        // The frame slides by whole steps; shifting once per step keeps it cheap.
        const std::size_t n = std::min(count, step - d_->fill);
        std::copy(samples, samples + n, d_->frame.begin() + std::ptrdiff_t(window - step + d_->fill));
        samples += n;
        count -= n;
        d_->fill += n;
        if (d_->fill == step) {
            d_->detection.push_back(d_->onsets->next(d_->frame.data()));
            std::copy(d_->frame.begin() + std::ptrdiff_t(step), d_->frame.end(), d_->frame.begin());
            d_->fill = 0;
        }
    }
}

namespace {

/// What the pulses are judged by: the attacks (rises of the sound's power from one step to the
/// next) and the hits among them (their peaks). A strong hit stands beside the loudest (a kick, a
/// snare, a click), not beside the hats between them.
class Attacks {
public:
    explicit Attacks(const std::vector<double>& energy) : attacks_(energy.size(), 0.0)
    {
        // The sound rises from silence at its start.
        for (std::size_t i = 0; i < energy.size(); ++i)
            attacks_[i] = std::max(0.0, energy[i] - (i ? energy[i - 1] : 0.0));
        const std::size_t n = attacks_.size();
        for (std::size_t i = 0; i < n; ++i) {
            bool peak = attacks_[i] > 0;
            for (std::size_t j = i >= 2 ? i - 2 : 0; j <= std::min(n - 1, i + 2) && peak; ++j)
                peak = j == i || attacks_[j] < attacks_[i] || (attacks_[j] == attacks_[i] && j > i);
            if (peak)
                hits_.push_back({i, attacks_[i]});
        }
        if (hits_.empty())
            return;
        std::vector<double> strengths;
        for (const auto& h : hits_)
            strengths.push_back(h.second);
        std::sort(strengths.begin(), strengths.end());
        strongHit_ = std::max(kStrongOfLoud * strengths[std::size_t(0.9 * double(strengths.size() - 1))],
                              kStrongOfLoudest * strengths.back());
        for (const auto& h : hits_)
            if (h.second >= strongHit_) {
                strongPower_ += h.second;
                ++strongHits_;
            }
    }

    const std::vector<double>& values() const { return attacks_; }
    std::size_t strongHits() const { return strongHits_; }

    /// The strongest attack within three steps of `at`.
    double near(double at) const
    {
        const auto centre = std::ptrdiff_t(std::lround(at));
        double best = 0;
        for (std::ptrdiff_t i = centre - kNear; i <= centre + kNear; ++i)
            if (i >= 0 && i < std::ptrdiff_t(attacks_.size()))
                best = std::max(best, attacks_[std::size_t(i)]);
        return best;
    }

    /// The share of the pulse's beats that carry a strong hit (a hit of half that counts as none).
    double presence(const Grid& g) const
    {
        double present = 0;
        int beats = 0;
        for (double t = std::fmod(g.phase, g.period); t < double(attacks_.size()); t += g.period, ++beats)
            present += std::clamp(2 * near(t) / strongHit_ - 1, 0.0, 1.0);
        return beats ? present / beats : 0;
    }

    /// The share of the strong hits' power that falls on the pulse's beats.
    double coverage(const Grid& g) const
    {
        double covered = 0;
        for (const auto& h : hits_) {
            const double offset = std::fmod(std::fmod(double(h.first) - g.phase, g.period) + g.period, g.period);
            if (h.second >= strongHit_ && std::min(offset, g.period - offset) <= kNear)
                covered += h.second;
        }
        return strongPower_ > 0 ? covered / strongPower_ : 0;
    }

    /// The share of all hits' power within three steps of the beats and of the points halfway.
    double share(const Grid& g) const
    {
        double on = 0, all = 0;
        for (const auto& h : hits_) {
            const double half = g.period / 2;
            const double offset = std::fmod(std::fmod(double(h.first) - g.phase, half) + half, half);
            all += h.second;
            if (std::min(offset, half - offset) <= kNear)
                on += h.second;
        }
        return all > 0 ? on / all : 0;
    }

private:
    // Steps a hit may lie off a beat and still be on it (35 ms).
    static constexpr int kNear = 3;
    std::vector<double> attacks_;
    std::vector<std::pair<std::size_t, double>> hits_;
    double strongHit_ = 0, strongPower_ = 0;
    std::size_t strongHits_ = 0;
};

/// The pulse the Queen Mary tracker follows through the detection function, placed to a small part
/// of a step by the attacks that start near its beats. Nothing when it finds too few beats.
std::optional<Grid> trackedPulse(const std::vector<double>& detection, std::size_t frames, const Attacks& attacks,
                                 int rate, int step)
{
    TempoTrackV2 tracker{float(rate), std::size_t(step)};
    std::vector<double> periods(detection.size()), tempi, beats;
    tracker.calculateBeatPeriod(detection, periods, tempi, 120, false);
    tracker.calculateBeats(detection, periods, beats);
    // Beat number and place of the attacks where the tracked beats are.
    std::vector<std::pair<double, double>> anchors;
    const auto& a = attacks.values();
    double number = 0;
    for (double b : beats) {
        if (b < 0 || b >= double(frames))
            continue;
        const auto centre = std::ptrdiff_t(std::lround(b));
        const std::ptrdiff_t from = std::max<std::ptrdiff_t>(0, centre - 4);
        const std::ptrdiff_t to = std::min<std::ptrdiff_t>(std::ptrdiff_t(frames) - 1, centre + 3);
        double top = 0;
        for (std::ptrdiff_t i = from; i <= to; ++i)
            top = std::max(top, a[std::size_t(i)]);
        if (top > 0) {
            // A hit may rise over a few steps (a clap's bursts): its place is where it starts.
            std::ptrdiff_t start = from;
            while (a[std::size_t(start)] < 0.3 * top)
                ++start;
            anchors.push_back({number, double(start)});
        }
        ++number;
    }
    // A straight line through them, again without those far off it (a beat put on another hit).
    Grid g{0, 0};
    for (int pass = 0; pass < 3; ++pass) {
        if (anchors.size() < 4)
            return std::nullopt;
        const double count = double(anchors.size());
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (const auto& [k, at] : anchors) {
            sx += k;
            sy += at;
            sxx += k * k;
            sxy += k * at;
        }
        const double denominator = count * sxx - sx * sx;
        if (denominator <= 0)
            return std::nullopt;
        g.period = (count * sxy - sx * sy) / denominator;
        g.phase = (sy - g.period * sx) / count;
        std::vector<std::pair<double, double>> kept;
        for (const auto& anchor : anchors)
            if (std::abs(anchor.second - (g.phase + g.period * anchor.first)) < 0.1 * g.period)
                kept.push_back(anchor);
        if (kept.size() == anchors.size())
            break;
        anchors = std::move(kept);
    }
    if (!(g.period > 1))
        return std::nullopt;
    return g;
}

/// The beat among the pulses at 1/4 to 4 times the tracked one within the tempo range: the
/// fastest whose beats mostly carry strong hits (the tracker may follow every other beat, or the
/// quavers), else the one whose beats carry the strong hits best. `score` tells how well.
std::optional<Grid> beatPulse(const Grid& tracked, const Attacks& attacks, double stepSeconds, double* score)
{
    std::optional<Grid> best;
    *score = -1;
    for (int k = -2; k <= 2; ++k) {
        const double period = tracked.period * std::pow(2.0, k);
        const double bpm = 60 / (period * stepSeconds);
        if (bpm > kFastestBpm || bpm < kSlowestBpm)
            continue;
        // A slower pulse may start on any of the tracked beats it spans.
        for (int phase = 0; phase < (k > 0 ? 1 << k : 1); ++phase) {
            const Grid g{period, tracked.phase + phase * tracked.period};
            const double present = attacks.presence(g), fit = present * attacks.coverage(g);
            if (present >= kBeatPresence) {
                *score = fit;
                return g;
            }
            if (fit > *score) {
                *score = fit;
                best = g;
            }
        }
    }
    return best;
}

} // namespace

double TempoEstimator::finish()
{
    const double nan = std::nan("");
    // The two readings may end a step apart.
    const std::size_t n = std::min(d_->detection.size(), d_->energy.size());
    d_->detection.resize(n);
    d_->energy.resize(n);
    if (!d_->onsets || double(d_->samples) < kShortestSeconds * d_->rate || n < 8)
        return nan;
    const Attacks attacks(d_->energy);
    if (attacks.strongHits() < 4)
        return nan;
    const double stepSeconds = double(d_->step) / d_->rate;
    // The tracker needs some 9 s. A shorter sound is tried followed by silence, and followed by
    // itself as a loop plays; the beat that fits the hits better counts.
    std::optional<Grid> beat;
    double score = -1;
    for (int asLoop = 0; asLoop < (n < kTrackerFrames ? 2 : 1); ++asLoop) {
        std::vector<double> input = d_->detection;
        while (input.size() < kTrackerFrames)
            if (asLoop)
                input.insert(input.end(), d_->detection.begin(), d_->detection.end());
            else
                input.resize(kTrackerFrames, 0.0);
        const auto tracked = trackedPulse(input, n, attacks, d_->rate, d_->step);
        double fit = -1;
        const auto candidate = tracked ? beatPulse(*tracked, attacks, stepSeconds, &fit) : std::nullopt;
        if (candidate && fit > score) {
            score = fit;
            beat = candidate;
        }
    }
    if (!beat)
        return nan;
    const double steadiness = attacks.presence(*beat) * attacks.coverage(*beat) * attacks.share(*beat);
    if (double(n) / beat->period < kFewestBeats || steadiness < kSteadiness)
        return nan;
    return 60.0 / (beat->period * stepSeconds);
}

} // namespace library
