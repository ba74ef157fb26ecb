// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a sound measures: loudness, peak, tempo and pitch, read from its decoded samples.

#include <cmath>
#include <optional>
#include <string>

namespace platform {

/// A measure that a sound does not have (no steady beat, not tonal) is NaN; the loudness and peak of
/// silence are minus infinity.
struct SoundMeasures {
    double loudness = std::nan(""); ///< integrated loudness, LUFS (EBU R128)
    double peak = std::nan("");     ///< sample peak, dBFS
    double tempo = std::nan("");    ///< beats per minute
    double pitch = std::nan("");    ///< MIDI note number with its fraction (69 = A4 = 440 Hz)
};

/// Decodes a sound file as playing does and measures it; nothing when it cannot be decoded.
std::optional<SoundMeasures> analyseSound(const std::string& path);

} // namespace platform
