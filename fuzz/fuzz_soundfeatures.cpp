// SPDX-License-Identifier: GPL-3.0-or-later
// Stored features of any bytes (a damaged library or cache), searched among: each 192 bytes are one
// sound's, read as the store reads them, and the first of them asks for the nearest with weights
// from its bytes. Whatever the numbers (NaN, huge, all alike), the answers come nearest first with
// finite distances and similarities within 0..1.
#include "library/similarityindex.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr std::size_t kBytes = library::soundFeatureCount * 4;
    std::vector<library::SimilarityIndex::Id> ids;
    std::vector<library::SoundFeatures> features;
    for (std::size_t at = 0; at + kBytes <= size; at += kBytes)
        if (const auto f = library::featuresFromBytes(data + at, kBytes)) {
            ids.push_back(std::int64_t(at % 7)); // ids may repeat
            features.push_back(*f);
        }
    if (features.empty())
        return 0;
    library::SimilarityWeights w;
    w.timbre = double(data[0]) / 64 - 1;
    w.envelope = size > 1 ? double(data[1]) / 64 : 1;
    w.pitch = size > 2 ? double(data[2]) / 64 : 1;
    for (std::size_t approximateFrom : {std::size_t(2), std::size_t(1) << 30}) {
        const library::SimilarityIndex index(ids, features, approximateFrom);
        const std::vector<library::SimilarityIndex::Id> among{0, 3, 3, 9};
        for (const auto* scope : {static_cast<const decltype(among)*>(nullptr), &among}) {
            const auto found = index.nearest(features.front(), w, 5, scope);
            for (std::size_t i = 0; i < found.size(); ++i)
                if (!std::isfinite(found[i].distance) || found[i].distance < 0 || !(found[i].similarity > 0) ||
                    found[i].similarity > 1 || (i > 0 && found[i].distance < found[i - 1].distance))
                    std::abort();
        }
    }
    return 0;
}
