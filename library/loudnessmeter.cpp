// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/loudnessmeter.h"

#include "library/resampler.h"

#include <ebur128.h>

#include <bitset>
#include <cmath>

namespace library {

namespace {

constexpr int kReferenceRate = 48000;
// libebur128 takes at most this many channels.
constexpr int kMostChannels = 64;
constexpr double kSurroundWeight = 1.41;

constexpr std::uint32_t kSurrounds = speaker::BackLeft | speaker::BackRight | speaker::BackCenter | speaker::SideLeft |
                                     speaker::SideRight | speaker::TopBackLeft | speaker::TopBackCenter |
                                     speaker::TopBackRight;

/// The layout a file of this many channels has when it names none.
std::uint32_t usualLayout(int channels)
{
    using namespace speaker;
    constexpr std::uint32_t kFront = FrontLeft | FrontRight | FrontCenter;
    switch (channels) {
    case 1: return FrontCenter;
    case 2: return FrontLeft | FrontRight;
    case 3: return kFront;
    case 4: return kFront | BackCenter;
    case 5: return kFront | BackLeft | BackRight;
    case 6: return kFront | LowFrequency | BackLeft | BackRight;
    case 7: return kFront | LowFrequency | BackCenter | SideLeft | SideRight;
    default: return kFront | LowFrequency | BackLeft | BackRight | SideLeft | SideRight;
    }
}

double speakerWeight(std::uint32_t bit)
{
    if (bit == speaker::LowFrequency)
        return 0;
    return bit & kSurrounds ? kSurroundWeight : 1;
}

/// The K-weighting of BS.1770 (a high shelf, then a high-pass) for one channel, its coefficients
/// drawn for the rate as libebur128 draws them.
class KWeighting {
public:
    explicit KWeighting(int rate)
    {
        double k = std::tan(M_PI * 1681.974450955533 / rate);
        const double q = 0.7071752369554196, vh = std::pow(10.0, 3.999843853973347 / 20);
        const double vb = std::pow(vh, 0.4996667741545416), a0 = 1 + k / q + k * k;
        shelf_ = {(vh + vb * k / q + k * k) / a0, 2 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
                  2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0};
        k = std::tan(M_PI * 38.13547087602444 / rate);
        const double q2 = 0.5003270373238773, d = 1 + k / q2 + k * k;
        highPass_ = {1, -2, 1, 2 * (k * k - 1) / d, (1 - k / q2 + k * k) / d};
    }
    double operator()(double x) { return run(highPass_, highPassState_, run(shelf_, shelfState_, x)); }

private:
    struct Biquad {
        double b0, b1, b2, a1, a2;
    };
    static double run(const Biquad& f, double (&s)[2], double x)
    {
        const double y = f.b0 * x + s[0];
        s[0] = f.b1 * x - f.a1 * y + s[1];
        s[1] = f.b2 * x - f.a2 * y;
        return y;
    }
    Biquad shelf_{}, highPass_{};
    double shelfState_[2] = {0, 0}, highPassState_[2] = {0, 0};
};

struct Ebur128Deleter {
    void operator()(ebur128_state* s) const { ebur128_destroy(&s); }
};

} // namespace

std::vector<double> loudnessWeights(int channels, std::uint32_t channelMask)
{
    if (channels <= 0)
        return {};
    const std::uint32_t layout = int(std::bitset<32>(channelMask).count()) == channels ? channelMask : usualLayout(channels);
    std::vector<double> weights;
    for (std::uint32_t bit = 1; bit != 0 && int(weights.size()) < channels; bit <<= 1)
        if (layout & bit)
            weights.push_back(speakerWeight(bit));
    weights.resize(std::size_t(channels), 1.0);
    return weights;
}

struct LoudnessMeter::State {
    int channels = 0;
    std::vector<double> weights;
    std::unique_ptr<ebur128_state, Ebur128Deleter> gated;
    // The whole sound as one block: weighted sum of squares of the K-weighted samples. Needed only
    // while no block has passed the gate, so summed only until one has.
    std::vector<KWeighting> filters;
    double energy = 0;
    std::size_t frames = 0;
    bool gatePassed = false;
    // Rates far from 48 kHz: each channel through a converter of its own.
    std::vector<std::unique_ptr<Resampler>> resamplers;
    std::vector<float> in, converted, interleaved;
};

double loudnessMatchGain(double lufs, double peakDb, double target, double ceiling)
{
    if (!std::isfinite(lufs) || !std::isfinite(peakDb))
        return 0.0;
    const double gain = target - lufs;
    // A boost stops where the peak reaches the ceiling; a sound already past it is not lowered for that.
    return gain <= 0 ? gain : std::max(0.0, std::min(gain, ceiling - peakDb));
}

int LoudnessMeter::measuringRate(int rate)
{
    // From 44.1 to 96 kHz the weighting filters drawn for the rate hold to the standard's curve;
    // further off, the high shelf warps near the top of the band.
    return rate >= 44100 && rate <= 96000 ? rate : kReferenceRate;
}

LoudnessMeter::LoudnessMeter(int rate, int channels, std::uint32_t channelMask) : d_(std::make_unique<State>())
{
    const int measured = measuringRate(rate);
    if (channels <= 0 || channels > kMostChannels || !Resampler::converts(rate, measured))
        return;
    d_->gated.reset(ebur128_init(unsigned(channels), unsigned(measured), EBUR128_MODE_I));
    if (!d_->gated)
        return;
    d_->channels = channels;
    d_->weights = loudnessWeights(channels, channelMask);
    for (int c = 0; c < channels; ++c) {
        const double w = d_->weights[std::size_t(c)];
        ebur128_set_channel(d_->gated.get(), unsigned(c),
                            w == 0 ? EBUR128_UNUSED : w == kSurroundWeight ? EBUR128_LEFT_SURROUND : EBUR128_LEFT);
        d_->filters.emplace_back(measured);
        if (measured != rate)
            d_->resamplers.push_back(std::make_unique<Resampler>(rate, measured, Resampler::Quality::Measure));
    }
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::add(const float* frames, std::size_t count)
{
    if (!d_->gated || count == 0)
        return;
    if (d_->resamplers.empty())
        measure(frames, count);
    else
        convert(frames, count, false);
}

void LoudnessMeter::convert(const float* frames, std::size_t count, bool last)
{
    // Every converter gets as many samples as the others, so each gives as many back.
    const auto channels = std::size_t(d_->channels);
    std::size_t produced = 0;
    for (std::size_t c = 0; c < channels; ++c) {
        d_->in.resize(count);
        for (std::size_t f = 0; f < count; ++f)
            d_->in[f] = frames[f * channels + c];
        d_->converted.clear();
        if (last)
            d_->resamplers[c]->finish(d_->converted);
        else
            d_->resamplers[c]->process(d_->in.data(), count, d_->converted);
        produced = d_->converted.size();
        d_->interleaved.resize(produced * channels);
        for (std::size_t f = 0; f < produced; ++f)
            d_->interleaved[f * channels + c] = d_->converted[f];
    }
    measure(d_->interleaved.data(), produced);
}

void LoudnessMeter::measure(const float* frames, std::size_t count)
{
    ebur128_add_frames_float(d_->gated.get(), frames, count);
    if (d_->gatePassed)
        return;
    const auto channels = std::size_t(d_->channels);
    for (std::size_t c = 0; c < channels; ++c) {
        const double w = d_->weights[c];
        if (w == 0)
            continue;
        KWeighting& k = d_->filters[c];
        double sum = 0;
        for (std::size_t f = 0; f < count; ++f) {
            const double y = k(frames[f * channels + c]);
            sum += y * y;
        }
        d_->energy += w * sum;
    }
    d_->frames += count;
    double gated = -HUGE_VAL;
    d_->gatePassed = ebur128_loudness_global(d_->gated.get(), &gated) == EBUR128_SUCCESS && std::isfinite(gated);
}

Loudness LoudnessMeter::finish()
{
    if (!d_->gated)
        return {std::nan(""), false};
    if (!d_->resamplers.empty())
        convert(nullptr, 0, true); // what the converters still hold
    double gated = -HUGE_VAL;
    if (ebur128_loudness_global(d_->gated.get(), &gated) == EBUR128_SUCCESS && std::isfinite(gated))
        return {gated, false};
    if (d_->frames == 0 || d_->energy <= 0)
        return {-HUGE_VAL, false};
    return {10 * std::log10(d_->energy / double(d_->frames)) - 0.691, true};
}

} // namespace library
