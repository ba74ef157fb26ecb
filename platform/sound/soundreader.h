// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The decoded samples of a wave file, for code above the system layer that reads a sound rather than
// plays it (its measures, its waveform). Decoded as playing decodes, so every file that plays reads.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

namespace sound_detail {
class Decoder;
}

class SoundReader {
public:
    ~SoundReader();
    SoundReader(const SoundReader&) = delete;
    SoundReader& operator=(const SoundReader&) = delete;

    /// Null when the drive-letter path names no regular file that holds a playable wave.
    static std::unique_ptr<SoundReader> open(const std::string& path);

    int channels() const;
    int rate() const;
    /// Frames of the sound, as its header tells it; the data may end earlier.
    std::int64_t frames() const;
    /// The speakers of the channels as a WAVE_FORMAT_EXTENSIBLE channel mask; 0 where the file names none.
    std::uint32_t channelMask() const;

    /// Fills up to `frames` interleaved frames, each sample finite and within [-1, 1]. Returns the frames
    /// written; fewer than asked means the sound has ended.
    std::size_t read(float* out, std::size_t frames);

private:
    explicit SoundReader(std::unique_ptr<sound_detail::Decoder> decoder);
    std::unique_ptr<sound_detail::Decoder> decoder_;
};

} // namespace platform
