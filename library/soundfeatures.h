// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A compact description of how a sound sounds, for finding sounds that sound alike: the timbre (MFCC
// statistics, spectral centroid, flatness and roll-off), the loudness envelope's shape and the pitch.
// Stored raw; a search scales each feature by its spread over the sounds compared, so that no single
// feature outweighs the others.

#include <array>
#include <cstddef>
#include <optional>
#include <string>

namespace library {

/// 48 numbers: 39 of timbre (MFCC means and spreads, the spectrum's centroid, flatness and roll-off,
/// the strength of the first harmonics), 5 of the envelope, 4 of pitch (see featureGroup). Changing
/// the count or a feature's meaning needs the stored features measured again.
constexpr std::size_t soundFeatureCount = 48;
using SoundFeatures = std::array<float, soundFeatureCount>;

/// How much each kind of likeness counts (0 = not at all, 1 = as is, up to 3).
struct SimilarityWeights {
    double timbre = 1, pitch = 1, envelope = 1;
};

enum class FeatureGroup { Timbre, Envelope, Pitch };
/// Which kind of likeness feature `index` tells of.
FeatureGroup featureGroup(std::size_t index);

/// The features as stored: float32 one after another, little-endian.
std::string featureBytes(const SoundFeatures& features);
/// Stored features; none when the bytes are not features of this version.
std::optional<SoundFeatures> featuresFromBytes(const void* bytes, std::size_t size);

/// The features of a file on disk (decoded and measured, as pass two does); none when it can't be decoded.
std::optional<SoundFeatures> featuresOfFile(const std::string& path);

} // namespace library
