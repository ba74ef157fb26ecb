// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/soundmeasurer.h"

#include "library/decimator.h"
#include "library/featureextractor.h"
#include "library/keydetector.h"
#include "library/loudnessmeter.h"
#include "library/pitchestimator.h"
#include "library/resampler.h"
#include "library/tempoestimator.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace library {

namespace {

// Frames handled at a time, so that the buffers stay small however much the caller hands over.
constexpr std::size_t kChunk = 4096;
// Far beyond full scale (+80 dB), far below where a float's square overflows.
constexpr float kLoudest = 1e4f;

/// Whether every sample is finite, and the largest magnitude among them, in one pass that the
/// compiler can spread over vector lanes.
bool largestFinite(const float* samples, std::size_t count, float& largest)
{
    constexpr std::size_t kLanes = 8;
    float top[kLanes] = {};
    bool odd[kLanes] = {};
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes)
        for (std::size_t j = 0; j < kLanes; ++j) {
            const float m = std::abs(samples[i + j]);
            top[j] = m > top[j] ? m : top[j];
            odd[j] |= !(m <= std::numeric_limits<float>::max()); // infinite or NaN
        }
    for (; i < count; ++i) {
        const float m = std::abs(samples[i]);
        top[0] = m > top[0] ? m : top[0];
        odd[0] |= !(m <= std::numeric_limits<float>::max());
    }
    largest = *std::max_element(top, top + kLanes);
    return std::none_of(odd, odd + kLanes, [](bool b) { return b; });
}

} // namespace

struct SoundMeasurer::State {
    SoundFormat format;
    bool valid = false;
    float peak = 0;
    std::unique_ptr<LoudnessMeter> loudness;
    // Pitch reads a mono mix at the analysis rate; tempo and key read it at a quarter of that.
    std::unique_ptr<Resampler> toAnalysisRate;
    std::unique_ptr<Decimator> toAnalysisRateExactly; // from two or four times it
    Decimator toQuarterRate{4};
    std::unique_ptr<TempoEstimator> tempo;
    std::unique_ptr<PitchEstimator> pitch;
    std::unique_ptr<KeyDetector> key;
    std::unique_ptr<FeatureExtractor> features;
    std::vector<float> finite, mono, converted, quarter;
};

int SoundMeasurer::analysisRate(int rate)
{
    for (int factor : {1, 2, 4})
        if (rate % factor == 0 && rate / factor >= 44100 && rate / factor <= 48000)
            return rate / factor;
    return 44100;
}

SoundMeasurer::SoundMeasurer(const SoundFormat& format) : d_(std::make_unique<State>())
{
    d_->format = format;
    if (format.rate <= 0 || format.channels <= 0)
        return;
    d_->valid = true;
    d_->loudness = std::make_unique<LoudnessMeter>(format.rate, format.channels, format.channelMask);
    const int analysed = analysisRate(format.rate);
    if (!Resampler::converts(format.rate, analysed))
        return;
    if (format.rate == 2 * analysed || format.rate == 4 * analysed)
        d_->toAnalysisRateExactly = std::make_unique<Decimator>(format.rate / analysed);
    else if (analysed != format.rate)
        d_->toAnalysisRate = std::make_unique<Resampler>(format.rate, analysed, Resampler::Quality::Analysis);
    d_->tempo = std::make_unique<TempoEstimator>(analysed, 4);
    d_->pitch = std::make_unique<PitchEstimator>(analysed);
    d_->key = std::make_unique<KeyDetector>(analysed / 4);
    d_->features = std::make_unique<FeatureExtractor>(analysed);
}

SoundMeasurer::~SoundMeasurer() = default;

void SoundMeasurer::add(const float* frames, std::size_t count)
{
    if (!d_->valid || !frames)
        return;
    const auto channels = std::size_t(d_->format.channels);
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min(kChunk, count - done);
        const float* chunk = frames + done * channels;
        const float* end = chunk + n * channels;
        float largest = 0;
        if (!largestFinite(chunk, n * channels, largest)) {
            d_->finite.assign(chunk, end);
            for (float& v : d_->finite)
                v = std::isfinite(v) ? v : 0.f;
            largestFinite(d_->finite.data(), n * channels, largest);
            chunk = d_->finite.data();
        }
        d_->peak = std::max(d_->peak, largest);
        addFinite(chunk, n);
        done += n;
    }
}

void SoundMeasurer::addFinite(const float* frames, std::size_t count)
{
    d_->loudness->add(frames, count);
    if (!d_->tempo)
        return;
    // Tempo, pitch and key square samples in floats: keep absurd values of float files from
    // overflowing there (loudness and peak see them as they are). A sum that overflows is
    // infinite, never NaN, and clamped as well.
    const auto channels = std::size_t(d_->format.channels);
    d_->mono.resize(count);
    float* mono = d_->mono.data();
    if (channels == 1) {
        for (std::size_t f = 0; f < count; ++f)
            mono[f] = std::clamp(frames[f], -kLoudest, kLoudest);
    } else if (channels == 2) {
        for (std::size_t f = 0; f < count; ++f)
            mono[f] = std::clamp(0.5f * (frames[2 * f] + frames[2 * f + 1]), -kLoudest, kLoudest);
    } else {
        for (std::size_t f = 0; f < count; ++f) {
            double sum = 0;
            for (std::size_t c = 0; c < channels; ++c)
                sum += frames[f * channels + c];
            mono[f] = float(std::clamp(sum / double(channels), -double(kLoudest), double(kLoudest)));
        }
    }
    if (!d_->toAnalysisRateExactly && !d_->toAnalysisRate) {
        analyse(mono, count);
        return;
    }
    d_->converted.clear();
    if (d_->toAnalysisRateExactly)
        d_->toAnalysisRateExactly->process(mono, count, d_->converted);
    else
        d_->toAnalysisRate->process(mono, count, d_->converted);
    analyse(d_->converted.data(), d_->converted.size());
}

void SoundMeasurer::analyse(const float* mono, std::size_t count)
{
    d_->pitch->add(mono, count);
    d_->features->add(mono, count);
    d_->tempo->add(mono, count);
    d_->quarter.clear();
    d_->toQuarterRate.process(mono, count, d_->quarter);
    d_->tempo->addReduced(d_->quarter.data(), d_->quarter.size());
    d_->key->add(d_->quarter.data(), d_->quarter.size());
}

SoundMeasures SoundMeasurer::finish()
{
    SoundMeasures m;
    if (!d_->valid)
        return m;
    const Loudness loudness = d_->peak > 0 ? d_->loudness->finish() : Loudness{-HUGE_VAL, false};
    m.loudness = loudness.lufs;
    m.wholeSoundLoudness = loudness.wholeSound;
    m.peak = d_->peak > 0 ? 20.0 * std::log10(double(d_->peak)) : -HUGE_VAL;
    if (!d_->tempo)
        return m;
    if (d_->toAnalysisRate) {
        d_->converted.clear();
        d_->toAnalysisRate->finish(d_->converted);
        analyse(d_->converted.data(), d_->converted.size());
    }
    m.tempo = d_->tempo->finish();
    m.pitch = d_->pitch->finish();
    m.key = d_->key->finish();
    m.features = d_->features->finish(m.pitch);
    return m;
}

SoundMeasures measureSound(const float* frames, std::size_t count, const SoundFormat& format)
{
    SoundMeasurer measurer(format);
    measurer.add(frames, count);
    return measurer.finish();
}

} // namespace library
