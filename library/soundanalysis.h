// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a sound measures: loudness, peak, tempo, pitch and key, read from its decoded samples. These are
// the measures the wave list shows and the measures cache keeps.

#include "library/musicalkey.h"
#include "library/soundfeatures.h"

#include <cmath>
#include <optional>
#include <string>

namespace library {

/// A measure that a sound does not have (no steady beat, not tonal), or that its rate or channels keep
/// from being measured, is NaN; the loudness and peak of digital silence, and only those, are minus
/// infinity. Every other measure is a finite number.
struct SoundAnalysis {
    double loudness = std::nan(""); ///< integrated loudness, LUFS (EBU R128)
    double peak = std::nan("");     ///< sample peak, dBFS
    double tempo = std::nan("");    ///< beats per minute
    double pitch = std::nan("");    ///< MIDI note number with its fraction (69 = A4 = 440 Hz)
    /// The sound is too short (under 0.4 s) or too quiet for the gated measure: `loudness` is that of
    /// the whole sound as one block, ungated.
    bool wholeSoundLoudness = false;
    std::optional<MusicalKey> key; ///< none for a sound without a clear key
    std::optional<SoundFeatures> features; ///< how it sounds, for finding sounds alike
};

/// Decodes a sound file (a drive-letter path, or a Linux path from the library) as playing does and
/// measures it; nothing when it cannot be decoded. A sound
/// whose rate or channels a measuring library cannot take lacks that measure.
std::optional<SoundAnalysis> analyseSound(const std::string& path);

/// Whether measures hold only what analyseSound gives: numbers, NaN, and minus infinity for silence.
bool measuresAreValid(const SoundAnalysis& measures);

} // namespace library
