// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/sound.h"

#include "platform/sound/soundchannel.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace platform {

namespace {

using sound_detail::Channel;
using sound_detail::Decoder;

// The name form: a wave file, or the default sound where there is none.
std::unique_ptr<Decoder> decoderFor(const char* sound, UINT flags)
{
    if (flags & SND_MEMORY) {
        // Like the system call, the image tells its own length in its RIFF header.
        if (std::memcmp(sound, "RIFF", 4) != 0)
            return nullptr;
        const auto* b = reinterpret_cast<const unsigned char*>(sound);
        std::size_t size =
            8 + (std::size_t(b[4]) | std::size_t(b[5]) << 8 | std::size_t(b[6]) << 16 | std::size_t(b[7]) << 24);
        std::shared_ptr<char[]> copy(new (std::nothrow) char[size]);
        if (!copy)
            return nullptr;
        std::memcpy(copy.get(), sound, size);
        return Decoder::open(sound_detail::memorySource(SoundImage{copy, size}));
    }
    return Decoder::open(sound_detail::fileSource(sound));
}

BOOL playDecoded(std::unique_ptr<Decoder> decoder, UINT flags, double startSeconds = 0, const SoundLoop& loop = {})
{
    const bool noStop = flags & SND_NOSTOP;
    if (decoder && (flags & SND_LOOP))
        decoder->setLoop(loop);
    if (!decoder && !(flags & SND_NODEFAULT))
        decoder = Decoder::defaultSound();
    if (!decoder) {
        // Nothing playable: what ran is stopped all the same, unless it may not be.
        Channel::instance().stop(noStop);
        return FALSE_;
    }
    return Channel::instance().play(std::move(decoder), flags & SND_LOOP, !(flags & SND_ASYNC), noStop, startSeconds);
}

} // namespace

BOOL sndPlaySound(const char* sound, UINT flags)
{
    if (!sound)
        return Channel::instance().stop(false) ? TRUE_ : FALSE_;
    if ((flags & SND_NOSTOP) && Channel::instance().busy())
        return FALSE_;
    return playDecoded(decoderFor(sound, flags), flags);
}

BOOL sndPlaySound(const SoundImage& image, UINT flags, const SoundLoop& loop)
{
    if (!image.bytes)
        return Channel::instance().stop(false) ? TRUE_ : FALSE_;
    if ((flags & SND_NOSTOP) && Channel::instance().busy())
        return FALSE_;
    return playDecoded(Decoder::open(sound_detail::memorySource(image)), flags | SND_MEMORY, 0, loop);
}

BOOL sndPlaySoundFrom(const char* path, UINT flags, double startSeconds, const SoundLoop& loop)
{
    if (!path)
        return Channel::instance().stop(false) ? TRUE_ : FALSE_;
    if (flags & SND_MEMORY)
        return FALSE_;
    if ((flags & SND_NOSTOP) && Channel::instance().busy())
        return FALSE_;
    std::unique_ptr<Decoder> decoder = Decoder::open(sound_detail::fileSource(path));
    double start = 0;
    if (decoder && startSeconds > 0) {
        if (!decoder->seekSeconds(startSeconds))
            decoder.reset();
        else
            start = std::min(startSeconds, decoder->seconds());
    }
    return playDecoded(std::move(decoder), flags, start, loop);
}

double soundPositionSeconds()
{
    return Channel::instance().position();
}

void setSoundVolume(double volume)
{
    Channel::instance().setVolume(volume);
}

void setSoundGain(double decibels)
{
    Channel::instance().setGain(decibels);
}

double soundVolume()
{
    return Channel::instance().volume();
}

std::vector<SoundOutput> soundOutputs()
{
    return Channel::instance().outputs();
}

void setSoundOutput(const std::string& name)
{
    Channel::instance().setOutput(name);
}

std::string soundOutput()
{
    return Channel::instance().output();
}

void watchSoundOutputs(std::function<void()> changed)
{
    Channel::instance().watchOutputs(std::move(changed));
}

bool soundIsPlaying()
{
    return Channel::instance().busy();
}

} // namespace platform
