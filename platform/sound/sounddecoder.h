// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Inside the sound channel: turns a wave image, a wave file or the default sound into float
// frames, a few at a time, so that a sound of any length starts at once.

#include "platform/sound/sound.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

typedef struct sf_private_tag SNDFILE;

namespace platform::sound_detail {

/// Random access to the bytes libsndfile decodes from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::int64_t size() = 0;
    /// Moves the read position; whence is SEEK_SET, SEEK_CUR or SEEK_END. Returns the new position or -1.
    virtual std::int64_t seek(std::int64_t offset, int whence) = 0;
    virtual std::int64_t read(void* buffer, std::int64_t count) = 0;
    virtual std::int64_t tell() = 0;
};

/// Reads from an image whose bytes it shares.
std::unique_ptr<ByteSource> memorySource(const SoundImage& image);
/// Reads a regular file named by a drive-letter path; null when it cannot be opened. It reads the
/// file it opened, so a file deleted, renamed or replaced meanwhile goes on as it was, and one cut
/// short ends early. The descriptor is closed with the source.
std::unique_ptr<ByteSource> fileSource(const std::string& path);

class Decoder {
public:
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    /// Null when the bytes hold no playable wave or the sound server could not take the format.
    /// Where libsndfile refuses a wave whose header walk finds plain PCM, A-law or mu-law (two data
    /// or two format chunks, say), the sound is decoded from the format and data that walk found.
    static std::unique_ptr<Decoder> open(std::unique_ptr<ByteSource> source);
    /// The desktop theme's bell, or a short built-in tone where the theme has none.
    static std::unique_ptr<Decoder> defaultSound();
    /// The fallback of open() for waves libsndfile refuses: raw samples at the place the header walk
    /// of the wave list finds (plain PCM, float, A-law and mu-law). Null for anything else.
    static std::unique_ptr<Decoder> openFromHeaderWalk(std::unique_ptr<ByteSource> source);

    int channels() const { return channels_; }
    int rate() const { return rate_; }
    /// Playing time of one pass in seconds, as the header tells it.
    double seconds() const { return rate_ > 0 ? double(frames_) / rate_ : 0.0; }
    /// Frames of one pass, as the header tells it.
    std::int64_t frames() const { return frames_; }
    /// The speakers of the channels as a WAVE_FORMAT_EXTENSIBLE channel mask (front left 0x1, front
    /// right 0x2, ...), where the file names them; 0 where it does not.
    std::uint32_t channelMask() const { return channelMask_; }

    /// Goes to `seconds` into the sound (clamped to its length); false when the bytes cannot seek there.
    bool seekSeconds(double seconds);

    /// Frames [start, end) that a looping read repeats after its first pass reaches `end`; a
    /// stretch that is empty or does not lie inside the sound leaves the whole sound repeating.
    void setLoop(const SoundLoop& loop);
    /// Where in the sound (seconds) a read that began at `startSeconds` is after `playedSeconds`.
    double placeAfter(double startSeconds, double playedSeconds, bool loop) const;

    /// Fills up to `frames` interleaved frames in [-1, 1]. With `loop` the sound starts over at
    /// its end, or at the loop's start once it reaches the loop's end. Returns the frames written;
    /// fewer than asked means the sound has ended.
    std::size_t read(float* out, std::size_t frames, bool loop);

private:
    Decoder() = default;
    static std::unique_ptr<Decoder> wrap(SNDFILE* file, std::unique_ptr<ByteSource> source);

    std::unique_ptr<ByteSource> source_;
    SNDFILE* file_ = nullptr;
    int channels_ = 0;
    int rate_ = 0;
    std::int64_t frames_ = 0;
    std::uint32_t channelMask_ = 0;
    /// Whether decoded samples can leave [-1, 1] or be no numbers at all (float data, MPEG).
    bool mayLeaveRange_ = true;
    std::int64_t position_ = 0; ///< the next frame read
    SoundLoop loop_;            ///< empty: the whole sound repeats
};

/// The built-in tone: a float WAV image of a short, softly ending beep.
SoundImage builtinTone();

} // namespace platform::sound_detail
