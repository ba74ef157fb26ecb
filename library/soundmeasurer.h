// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The measures of a decoded sound: loudness, peak, tempo, pitch and key. The one entry point for
// measuring: hand it the frames as they are decoded (or all at once) and take the measures.

#include "library/musicalkey.h"
#include "library/soundfeatures.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace library {

/// How the decoded frames are laid out.
struct SoundFormat {
    int rate = 0;
    int channels = 0;
    /// Speakers of the channels as in WAVE_FORMAT_EXTENSIBLE (see speaker:: in loudnessmeter.h);
    /// 0 when the file names none.
    std::uint32_t channelMask = 0;
};

/// A measure that a sound does not have (no steady beat, not one note, no key) is NaN or empty;
/// the loudness and peak of digital silence are minus infinity.
struct SoundMeasures {
    double loudness = std::nan("");  ///< LUFS: integrated (EBU R128), or see wholeSoundLoudness
    /// The sound was too short (under 0.4 s) or too quiet for the gated measure: `loudness` is the
    /// BS.1770-weighted loudness of the whole sound as one block, ungated.
    bool wholeSoundLoudness = false;
    double peak = std::nan("");      ///< highest sample, dBFS
    double tempo = std::nan("");     ///< beats per minute
    double pitch = std::nan("");     ///< MIDI note number with its fraction (69 = A4 = 440 Hz)
    std::optional<MusicalKey> key;
    /// How it sounds, for finding sounds alike; none for a sound too short or silent to describe.
    std::optional<SoundFeatures> features;
};

/// Measures one sound. Not shared between threads; any number of them run side by side.
class SoundMeasurer {
public:
    explicit SoundMeasurer(const SoundFormat& format);
    ~SoundMeasurer();
    SoundMeasurer(const SoundMeasurer&) = delete;
    SoundMeasurer& operator=(const SoundMeasurer&) = delete;

    /// Adds `count` interleaved frames. Samples that are no numbers or infinite count as 0.
    void add(const float* frames, std::size_t count);
    /// The measures of everything added. Call once.
    SoundMeasures finish();

    /// The rate pitch is read at (tempo and key read a quarter of it): the sound's own from 44.1 to
    /// 48 kHz, a half or a quarter of it from 88.2 to 96 or 176.4 to 192 kHz, else 44.1 kHz.
    static int analysisRate(int rate);

private:
    struct State;
    void addFinite(const float* frames, std::size_t count);
    void analyse(const float* mono, std::size_t count);
    std::unique_ptr<State> d_;
};

/// All the measures of a sound in memory.
SoundMeasures measureSound(const float* frames, std::size_t count, const SoundFormat& format);

} // namespace library
