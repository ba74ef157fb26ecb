// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/soundanalysis.h"

#include "library/soundmeasurer.h"
#include "platform/sound/sounddecoder.h"

#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

/// A measure as the window may show it: a number, or absent.
double finiteOrAbsent(double v)
{
    return std::isfinite(v) ? v : std::nan("");
}

} // namespace

void runInBackground()
{
    // On Linux a thread's nice value is its own. Failing, it measures at the usual priority.
    constexpr int kBackgroundNice = 10;
    ::setpriority(PRIO_PROCESS, id_t(::gettid()), kBackgroundNice);
}

bool measuresAreValid(const SoundMeasures& m)
{
    auto finiteOrNan = [](double v) { return std::isfinite(v) || std::isnan(v); };
    // Only digital silence is silent: a loudness and a peak of minus infinity go together.
    const bool silent = m.peak == -HUGE_VAL;
    const bool keyValid = !m.key || (m.key->tonic >= 0 && m.key->tonic < 12);
    return (finiteOrNan(m.peak) || silent) && (finiteOrNan(m.loudness) || (silent && m.loudness == -HUGE_VAL)) &&
           finiteOrNan(m.tempo) && finiteOrNan(m.pitch) && keyValid;
}

std::optional<SoundMeasures> analyseSound(const std::string& path)
{
    auto decoder = sound_detail::Decoder::open(sound_detail::fileSource(path));
    if (!decoder || decoder->channels() <= 0 || decoder->rate() <= 0)
        return std::nullopt;
    const int channels = decoder->channels();
    library::SoundMeasurer measurer({decoder->rate(), channels, decoder->channelMask()});
    constexpr size_t kChunk = 4096;
    std::vector<float> buffer(kChunk * size_t(channels));
    for (;;) {
        const size_t frames = decoder->read(buffer.data(), kChunk, false);
        if (frames == 0)
            break;
        measurer.add(buffer.data(), frames);
        if (frames < kChunk)
            break;
    }
    const library::SoundMeasures found = measurer.finish();

    SoundMeasures m;
    // The decoder's samples are finite and within [-1, 1], so the peak is a number or, for digital
    // silence, minus infinity; and silence is silent whatever the rate.
    const bool silent = found.peak == -HUGE_VAL;
    m.peak = silent ? -HUGE_VAL : finiteOrAbsent(found.peak);
    m.loudness = silent ? -HUGE_VAL : finiteOrAbsent(found.loudness);
    m.wholeSoundLoudness = !silent && found.wholeSoundLoudness && !std::isnan(m.loudness);
    m.tempo = finiteOrAbsent(found.tempo);
    m.pitch = finiteOrAbsent(found.pitch);
    m.key = found.key;
    return m;
}

} // namespace platform
