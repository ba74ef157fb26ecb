// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/featureextractor.h"

#include <algorithm>
#include <array>
#include <aubio/aubio.h>
#include <cmath>
#include <vector>

namespace library {

namespace {

// 46 ms frames (at 44.1 kHz) every 11.6 ms: drums' attacks fall into a frame or two of their own. The
// hop is the same time at any rate, so that a copy at another rate is read at the same moments.
constexpr unsigned kWindow = 2048;
constexpr double kHopSeconds = 512.0 / 44100;
constexpr unsigned kFilters = 40, kCoefficients = 13;
// The spectrum described: where hearing and most recordings agree, so that a copy at a lower rate
// describes as the original does.
constexpr double kLowestHz = 30, kHighestHz = 16000;
constexpr double kRollOff = 0.85;
// A long sound is read at frames spread evenly over it, between this many and twice as many (a drum
// or a note of up to 1.5 s at every hop), and its envelope at up to twice this many hops, so that
// minutes cost what seconds do: a sound costs at most a few milliseconds more to measure.
constexpr std::size_t kFewestFrames = 64, kFewestHops = 8192;
// Frames this far below the loudest do not take part in the statistics: the tail of a sound says
// little of how it sounds. Below kFloorDb is silence whatever the loudest.
constexpr double kFrameRangeDb = 50, kFloorDb = -110;
// The envelope: a sound lasts while its hops are within kActiveDb of the loudest; it has risen once
// within kRisenDb, and decayed when they stay kDecayDb below; it sustains while within kSustainDb.
constexpr double kActiveDb = 40, kRisenDb = 3, kDecayDb = 20, kSustainDb = 10;
// A frame's spectrum is read down to this far below its strongest bin: deeper lie the noise of the
// recording and its rate's filters, which a copy at another gain or rate has otherwise.
constexpr double kSpectrumRangeDb = 60;
// The harmonics whose strength (relative to the first) describes a note's timbre whatever its pitch,
// read within this share of their frequency.
constexpr int kHarmonics = FeatureExtractor::kHarmonicFeatures + 1;
constexpr double kHarmonicWidth = 0.03, kHarmonicFloorDb = -60;

struct FftDeleter {
    void operator()(aubio_fft_t* p) const { del_aubio_fft(p); }
};
struct MfccDeleter {
    void operator()(aubio_mfcc_t* p) const { del_aubio_mfcc(p); }
};
struct FvecDeleter {
    void operator()(fvec_t* v) const { del_fvec(v); }
};
struct CvecDeleter {
    void operator()(cvec_t* v) const { del_cvec(v); }
};

/// What one frame says; the statistics are taken over these.
struct Frame {
    enum { Centroid = kCoefficients, Flatness, RollOff, Crest, Crossings, Count };
    float db = 0;
    std::array<float, Count> values{};
};

double decibels(double power)
{
    return power > 0 ? 10 * std::log10(power) : -HUGE_VAL;
}

} // namespace

struct FeatureExtractor::State {
    int rate = 0;
    unsigned hop = 512;
    std::unique_ptr<aubio_fft_t, FftDeleter> fft;
    std::unique_ptr<aubio_mfcc_t, MfccDeleter> mfcc;
    std::unique_ptr<fvec_t, FvecDeleter> in, coefficients;
    std::unique_ptr<cvec_t, CvecDeleter> spectrum;
    std::vector<float> samples = std::vector<float>(kWindow), hann = std::vector<float>(kWindow);
    unsigned fill = 0;           // new samples in the last hop of `samples`
    std::size_t hopNumber = 0;   // hops so far
    std::size_t frameStride = 1; // every this many hops a frame is read
    std::vector<Frame> frames;
    std::vector<double> powerSum; // each bin's power summed over the frames read, for the harmonics
    // The envelope: mean power of `hopsPerPoint` hops a point.
    std::vector<double> envelope;
    std::size_t hopsPerPoint = 1, hopsInPoint = 0;
    double pointPower = 0;
    double hopPower = 0;
    std::size_t lowBin = 1, highBin = 1;
};

FeatureExtractor::FeatureExtractor(int rate) : d_(std::make_unique<State>())
{
    if (rate < 8000 || rate > 96000)
        return;
    d_->rate = rate;
    d_->hop = unsigned(std::lround(kHopSeconds * rate));
    d_->fft.reset(new_aubio_fft(kWindow));
    d_->mfcc.reset(new_aubio_mfcc(kWindow, kFilters, kCoefficients, unsigned(rate)));
    if (!d_->fft || !d_->mfcc)
        return;
    d_->in.reset(new_fvec(kWindow));
    d_->coefficients.reset(new_fvec(kCoefficients));
    d_->spectrum.reset(new_cvec(kWindow));
    for (unsigned i = 0; i < kWindow; ++i)
        d_->hann[i] = float(0.5 - 0.5 * std::cos(2 * M_PI * i / kWindow));
    const double binHz = double(rate) / kWindow;
    d_->lowBin = std::max<std::size_t>(1, std::size_t(std::ceil(kLowestHz / binHz)));
    d_->highBin = std::min<std::size_t>(kWindow / 2, std::size_t(kHighestHz / binHz));
    d_->powerSum.assign(kWindow / 2 + 1, 0.0);
}

FeatureExtractor::~FeatureExtractor() = default;

void FeatureExtractor::add(const float* samples, std::size_t count)
{
    if (!d_->mfcc)
        return;
    float* buffer = d_->samples.data();
    while (count > 0) {
        const std::size_t n = std::min<std::size_t>(count, d_->hop - d_->fill);
        float* to = buffer + kWindow - d_->hop + d_->fill;
        for (std::size_t i = 0; i < n; ++i) {
            to[i] = samples[i];
            d_->hopPower += double(samples[i]) * samples[i];
        }
        samples += n;
        count -= n;
        d_->fill += unsigned(n);
        if (d_->fill == d_->hop)
            hopDone();
    }
}

void FeatureExtractor::hopDone()
{
    addEnvelope(d_->hopPower / d_->fill);
    if (d_->hopNumber % d_->frameStride == 0)
        analyseFrame();
    ++d_->hopNumber;
    std::copy(d_->samples.begin() + d_->hop, d_->samples.end(), d_->samples.begin());
    d_->fill = 0;
    d_->hopPower = 0;
}

void FeatureExtractor::addEnvelope(double power)
{
    d_->pointPower += power;
    if (++d_->hopsInPoint < d_->hopsPerPoint)
        return;
    d_->envelope.push_back(d_->pointPower / double(d_->hopsPerPoint));
    d_->pointPower = 0;
    d_->hopsInPoint = 0;
    // Too many points: two become one, and from here on each point holds twice as many hops.
    if (d_->envelope.size() >= 2 * kFewestHops) {
        for (std::size_t i = 0; i < kFewestHops; ++i)
            d_->envelope[i] = 0.5 * (d_->envelope[2 * i] + d_->envelope[2 * i + 1]);
        d_->envelope.resize(kFewestHops);
        d_->hopsPerPoint *= 2;
    }
}

void FeatureExtractor::analyseFrame()
{
    const float* raw = d_->samples.data();
    float* in = d_->in->data;
    double power = 0;
    std::size_t crossings = 0;
    for (unsigned i = 0; i < kWindow; ++i) {
        in[i] = raw[i] * d_->hann[i];
        power += double(in[i]) * in[i];
        crossings += i > 0 && (raw[i] >= 0) != (raw[i - 1] >= 0);
    }
    if (!(power > 0))
        return;
    aubio_fft_do(d_->fft.get(), d_->in.get(), d_->spectrum.get());
    float* norm = d_->spectrum->norm;
    const float strongest = *std::max_element(norm, norm + kWindow / 2 + 1);
    const auto floor = float(strongest * std::pow(10.0, -kSpectrumRangeDb / 20));
    for (unsigned k = 0; k <= kWindow / 2; ++k) {
        d_->powerSum[k] += double(norm[k]) * norm[k];
        norm[k] = std::max(norm[k], floor);
    }
    aubio_mfcc_do(d_->mfcc.get(), d_->spectrum.get(), d_->coefficients.get());
    Frame f;
    f.db = float(decibels(power / kWindow));
    for (unsigned c = 0; c < kCoefficients; ++c)
        f.values[c] = std::isfinite(d_->coefficients->data[c]) ? d_->coefficients->data[c] : 0.f;
    // The spectrum's power in the band described; a tiny floor keeps the logarithms finite.
    const double binHz = double(d_->rate) / kWindow;
    double sum = 0, weighted = 0, logs = 0, largest = 0;
    for (std::size_t k = d_->lowBin; k <= d_->highBin; ++k) {
        const double p = double(norm[k]) * norm[k] + 1e-20;
        sum += p;
        weighted += p * double(k) * binHz;
        logs += std::log(norm[k] + 1e-30f); // in floats: a third of the frame's time in doubles
        largest = std::max(largest, p);
    }
    const double bins = double(d_->highBin - d_->lowBin + 1);
    double below = 0;
    std::size_t rollOff = d_->lowBin;
    for (; rollOff < d_->highBin && below < kRollOff * sum; ++rollOff)
        below += double(norm[rollOff]) * norm[rollOff] + 1e-20;
    f.values[Frame::Centroid] = float(std::log2(std::max(weighted / sum, kLowestHz)));
    f.values[Frame::Flatness] = float((2 * logs / bins - std::log(sum / bins)) / std::log(10.0));
    f.values[Frame::RollOff] = float(std::log2(double(rollOff) * binHz));
    f.values[Frame::Crest] = float(std::log10(largest / (sum / bins)));
    f.values[Frame::Crossings] = float(std::log10(1 + double(crossings) * d_->rate / kWindow));
    d_->frames.push_back(f);
    // Too many: keep every other frame, and read half as often from here on.
    if (d_->frames.size() >= 2 * kFewestFrames) {
        for (std::size_t i = 0; i < kFewestFrames; ++i)
            d_->frames[i] = d_->frames[2 * i];
        d_->frames.resize(kFewestFrames);
        d_->frameStride *= 2;
    }
}

std::array<float, FeatureExtractor::kHarmonicFeatures> FeatureExtractor::harmonics(double pitch) const
{
    std::array<float, kHarmonicFeatures> out{};
    const double first = std::isfinite(pitch) ? 440 * std::pow(2.0, (pitch - 69) / 12) : 0;
    // A sound that is no note has no harmonics to compare (its strongest bins move with the rate).
    if (!(first >= kLowestHz && first < kHighestHz)) {
        out.fill(std::nanf(""));
        return out;
    }
    const std::vector<double>& p = d_->powerSum;
    const double binHz = double(d_->rate) / kWindow;
    // The strongest bin near each harmonic.
    auto strength = [&](int h) {
        const double at = h * first / binHz, width = std::max(1.0, at * kHarmonicWidth);
        const auto from = std::size_t(std::max(double(d_->lowBin), std::floor(at - width)));
        const auto to = std::size_t(std::min(double(d_->highBin), std::ceil(at + width)));
        double largest = 0;
        for (std::size_t k = from; k <= to; ++k)
            largest = std::max(largest, p[k]);
        return largest;
    };
    const double fundamental = strength(1);
    for (int h = 2; h <= kHarmonics; ++h) {
        const double db = fundamental > 0 ? decibels(strength(h) / fundamental) : kHarmonicFloorDb;
        out[std::size_t(h - 2)] = float(std::clamp(db, kHarmonicFloorDb, -kHarmonicFloorDb));
    }
    return out;
}

std::optional<SoundFeatures> FeatureExtractor::finish(double pitch)
{
    if (!d_->mfcc)
        return std::nullopt;
    // A sound shorter than a hop, or its last part: read as a whole hop with silence after it.
    if (d_->fill > 0) {
        const unsigned heard = d_->fill;
        std::fill(d_->samples.end() - (d_->hop - heard), d_->samples.end(), 0.f);
        d_->fill = d_->hop;
        d_->hopPower *= double(d_->hop) / heard; // the power of what was heard
        hopDone();
    }
    if (d_->hopsInPoint > 0) // the last point holds fewer hops
        d_->envelope.push_back(d_->pointPower / double(d_->hopsInPoint));
    if (d_->frames.empty() || d_->envelope.empty())
        return std::nullopt;
    float loudest = -HUGE_VALF;
    for (const Frame& f : d_->frames)
        loudest = std::max(loudest, f.db);
    if (!(loudest > kFloorDb))
        return std::nullopt;

    SoundFeatures out{};
    // Mean and spread of each frame value over the frames that sound.
    std::array<double, Frame::Count> sum{}, squares{};
    double first = -HUGE_VAL; // the loudest frame's c0: the mean c0 is told relative to it
    std::size_t n = 0;
    for (const Frame& f : d_->frames) {
        if (f.db < loudest - kFrameRangeDb || f.db < kFloorDb)
            continue;
        ++n;
        for (std::size_t v = 0; v < Frame::Count; ++v) {
            sum[v] += f.values[v];
            squares[v] += double(f.values[v]) * f.values[v];
        }
        first = std::max(first, double(f.values[0]));
    }
    auto mean = [&](std::size_t v) { return sum[v] / double(n); };
    auto spread = [&](std::size_t v) { return std::sqrt(std::max(0.0, squares[v] / double(n) - mean(v) * mean(v))); };
    for (std::size_t c = 0; c < kCoefficients; ++c) {
        // The mean c0 is the sound's level; relative to its loudest frame it is how steady the level
        // is, and the same at any gain.
        out[c] = float(c == 0 ? mean(0) - first : mean(c));
        out[kCoefficients + c] = float(spread(c));
    }
    std::size_t i = 2 * kCoefficients;
    for (std::size_t v : {Frame::Centroid, Frame::Flatness, Frame::RollOff}) {
        out[i++] = float(mean(v));
        out[i++] = float(spread(v));
    }
    for (float h : harmonics(pitch))
        out[i++] = h;

    // The envelope: how long the sound lasts, how fast it rises and falls, where its weight lies.
    const std::vector<double>& e = d_->envelope;
    const double pointSeconds = double(d_->hop) * double(d_->hopsPerPoint) / d_->rate;
    const auto peakAt = std::size_t(std::max_element(e.begin(), e.end()) - e.begin());
    const double peakDb = decibels(e[peakAt]);
    auto within = [&](std::size_t k, double db) { return decibels(e[k]) >= peakDb - db; };
    std::size_t start = 0, end = e.size() - 1;
    while (!within(start, kActiveDb))
        ++start;
    while (!within(end, kActiveDb))
        --end;
    // The attack ends where the sound first comes near its loudest, the decay starts where it last
    // is there: a held note's small swings do not move either.
    std::size_t risen = start, falling = end, decayed = end;
    while (!within(risen, kRisenDb))
        ++risen;
    while (!within(falling, kRisenDb))
        --falling;
    while (!within(decayed, kDecayDb))
        --decayed;
    double weight = 0, moment = 0;
    std::size_t sustained = 0;
    for (std::size_t k = start; k <= end; ++k) {
        weight += e[k];
        moment += e[k] * double(k - start);
        sustained += within(k, kSustainDb);
    }
    const double points = double(end - start + 1);
    out[i++] = float(std::log10(points * pointSeconds));
    out[i++] = float(std::log10((double(risen - start) + 0.5) * pointSeconds));
    out[i++] = float(std::log10((double(decayed - falling) + 0.5) * pointSeconds));
    out[i++] = float(weight > 0 ? (moment / weight + 0.5) / points : 0.5);
    out[i++] = float(double(sustained) / points);

    // Pitch and tonalness: the note if it is one, how peaked the spectrum and how noisy the wave.
    out[i++] = std::isfinite(pitch) ? float(pitch) : std::nanf("");
    out[i++] = std::isfinite(pitch) ? 1.f : 0.f;
    out[i++] = float(mean(Frame::Crest));
    out[i++] = float(mean(Frame::Crossings));
    return out;
}

} // namespace library
