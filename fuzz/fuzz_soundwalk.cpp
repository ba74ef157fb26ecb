// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the sound decoder's fallback for waves libsndfile refuses: the header walk
// that finds the format and the samples, and the raw decoding from there, with a seek on the way.
#include "platform/sound/sounddecoder.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace platform;
using namespace platform::sound_detail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::shared_ptr<char[]> bytes(new char[size + 1]);
    if (size > 0)
        std::memcpy(bytes.get(), data, size);
    std::unique_ptr<Decoder> d = Decoder::openFromHeaderWalk(memorySource(SoundImage{bytes, size}));
    if (!d)
        return 0;
    if (d->channels() < 1 || d->rate() < 1 || d->frames() < 0 || !(d->seconds() >= 0))
        std::abort();
    // A few reads, one looped, and a seek into the middle: every sample must come out finite and in range.
    float out[4096];
    const std::size_t frames = sizeof out / sizeof out[0] / std::size_t(d->channels());
    for (int round = 0; round < 3 && frames > 0; ++round) {
        const std::size_t got = d->read(out, frames, round == 1);
        if (got > frames)
            std::abort();
        for (std::size_t i = 0; i < got * std::size_t(d->channels()); ++i)
            if (!std::isfinite(out[i]) || out[i] < -1.0f || out[i] > 1.0f)
                std::abort();
        d->seekSeconds(d->seconds() / 2);
    }
    return 0;
}
