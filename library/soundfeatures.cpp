// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/soundfeatures.h"

#include "library/soundanalysis.h"

#include <cstdint>
#include <cstring>

namespace library {

namespace {

std::uint32_t bitsOf(float v)
{
    std::uint32_t u = 0;
    std::memcpy(&u, &v, sizeof u);
    return u;
}

} // namespace

FeatureGroup featureGroup(std::size_t index)
{
    if (index < 39)
        return FeatureGroup::Timbre;
    return index < 44 ? FeatureGroup::Envelope : FeatureGroup::Pitch;
}

std::string featureBytes(const SoundFeatures& features)
{
    std::string out;
    out.reserve(features.size() * 4);
    for (float v : features) {
        const std::uint32_t u = bitsOf(v);
        for (int b = 0; b < 4; ++b)
            out.push_back(char((u >> (8 * b)) & 0xFF));
    }
    return out;
}

std::optional<SoundFeatures> featuresFromBytes(const void* bytes, std::size_t size)
{
    if (!bytes || size != soundFeatureCount * 4)
        return std::nullopt;
    const auto* p = static_cast<const unsigned char*>(bytes);
    SoundFeatures out{};
    for (std::size_t i = 0; i < soundFeatureCount; ++i, p += 4) {
        const std::uint32_t u =
            std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
        std::memcpy(&out[i], &u, sizeof u);
        // Infinite features are never made; NaN only where a sound lacks one (its note).
        if (std::isinf(out[i]))
            return std::nullopt;
    }
    return out;
}

std::optional<SoundFeatures> featuresOfFile(const std::string& path)
{
    const std::optional<SoundAnalysis> measured = analyseSound(path);
    return measured ? measured->features : std::nullopt;
}

} // namespace library
