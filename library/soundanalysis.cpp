// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/soundanalysis.h"

#include "library/soundmeasurer.h"
#include "platform/sound/soundreader.h"

#include <vector>

namespace library {

namespace {

/// A measure as the window may show it: a number, or absent.
double finiteOrAbsent(double v)
{
    return std::isfinite(v) ? v : std::nan("");
}

} // namespace

bool measuresAreValid(const SoundAnalysis& m)
{
    auto finiteOrNan = [](double v) { return std::isfinite(v) || std::isnan(v); };
    // Only digital silence is silent: a loudness and a peak of minus infinity go together.
    const bool silent = m.peak == -HUGE_VAL;
    const bool keyValid = !m.key || (m.key->tonic >= 0 && m.key->tonic < 12);
    return (finiteOrNan(m.peak) || silent) && (finiteOrNan(m.loudness) || (silent && m.loudness == -HUGE_VAL)) &&
           finiteOrNan(m.tempo) && finiteOrNan(m.pitch) && keyValid;
}

std::optional<SoundAnalysis> analyseSound(const std::string& path)
{
    auto reader = platform::SoundReader::open(path);
    if (!reader || reader->channels() <= 0 || reader->rate() <= 0)
        return std::nullopt;
    const int channels = reader->channels();
    SoundMeasurer measurer({reader->rate(), channels, reader->channelMask()});
    constexpr size_t kChunk = 4096;
    std::vector<float> buffer(kChunk * size_t(channels));
    for (;;) {
        const size_t frames = reader->read(buffer.data(), kChunk);
        if (frames == 0)
            break;
        measurer.add(buffer.data(), frames);
        if (frames < kChunk)
            break;
    }
    const SoundMeasures found = measurer.finish();

    SoundAnalysis m;
    // The reader's samples are finite and within [-1, 1], so the peak is a number or, for digital
    // silence, minus infinity; and silence is silent whatever the rate.
    const bool silent = found.peak == -HUGE_VAL;
    m.peak = silent ? -HUGE_VAL : finiteOrAbsent(found.peak);
    m.loudness = silent ? -HUGE_VAL : finiteOrAbsent(found.loudness);
    m.wholeSoundLoudness = !silent && found.wholeSoundLoudness && !std::isnan(m.loudness);
    m.tempo = finiteOrAbsent(found.tempo);
    m.pitch = finiteOrAbsent(found.pitch);
    m.key = found.key;
    m.features = found.features;
    return m;
}

} // namespace library
