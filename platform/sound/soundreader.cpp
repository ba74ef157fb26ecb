// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/soundreader.h"

#include "platform/sound/sounddecoder.h"

namespace platform {

SoundReader::SoundReader(std::unique_ptr<sound_detail::Decoder> decoder) : decoder_(std::move(decoder)) {}

SoundReader::~SoundReader() = default;

std::unique_ptr<SoundReader> SoundReader::open(const std::string& path)
{
    auto decoder = sound_detail::Decoder::open(sound_detail::fileSource(path));
    if (!decoder)
        return nullptr;
    return std::unique_ptr<SoundReader>(new SoundReader(std::move(decoder)));
}

int SoundReader::channels() const
{
    return decoder_->channels();
}

int SoundReader::rate() const
{
    return decoder_->rate();
}

std::int64_t SoundReader::frames() const
{
    return decoder_->frames();
}

std::uint32_t SoundReader::channelMask() const
{
    return decoder_->channelMask();
}

std::size_t SoundReader::read(float* out, std::size_t frames)
{
    return decoder_->read(out, frames, false);
}

} // namespace platform
