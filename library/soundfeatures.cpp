// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/soundfeatures.h"

namespace library {

FeatureGroup featureGroup(std::size_t index)
{
    if (index < 32)
        return FeatureGroup::Timbre;
    return index < 37 ? FeatureGroup::Envelope : FeatureGroup::Pitch;
}

std::optional<SoundFeatures> featuresOfFile(const std::string&)
{
    return std::nullopt;
}

} // namespace library
