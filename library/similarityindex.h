// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds the sounds nearest to a sound among many, by their features. Each feature is scaled by its
// spread over the sounds searched (median and quartiles, so a few odd sounds do not set the scale;
// a handful of sounds leans on the spread of sounds of many kinds),
// and each kind of likeness (timbre, envelope, pitch) has a share of the distance that the user's
// weights change. The scaled features lie in one array that a search reads from end to end; above
// kApproximateFrom sounds an approximate index answers searches with the usual weights instead.

#include "library/soundfeatures.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace library {

class ApproximateIndex;

class SimilarityIndex {
public:
    using Id = std::int64_t;
    struct Hit {
        Id id = 0;
        double distance = 0;   ///< 0 for the same sound; about 1 for sounds a typical spread apart
        double similarity = 1; ///< similarityOf(distance)
    };
    /// Floats a sound takes in the array: the features and zeros up to a multiple of 8, so that the
    /// distance loop runs over whole vector registers.
    static constexpr std::size_t kStride = (soundFeatureCount + 7) / 8 * 8;
    /// From this many sounds on, searches with the usual weights over all of them go through the
    /// approximate index. Exact search reads 200,000 sounds in about 3 ms and the graph takes about
    /// 25 s to build for them (bench_library_similar): only far larger libraries gain by it.
    static constexpr std::size_t kApproximateFrom = 2000000;

    SimilarityIndex();
    /// The sounds to search among, by id (ids need not be in order, and appear once).
    SimilarityIndex(std::vector<Id> ids, const std::vector<SoundFeatures>& features,
                    std::size_t approximateFrom = kApproximateFrom);
    ~SimilarityIndex();
    SimilarityIndex(SimilarityIndex&&) noexcept;
    SimilarityIndex& operator=(SimilarityIndex&&) noexcept;

    /// Takes these sounds in place of those held, unless they are the very same: the index, whose
    /// approximate part takes long to build for a large library, stays through changes that leave the
    /// features as they were (marks, folders listed again).
    void update(std::vector<Id> ids, const std::vector<SoundFeatures>& features);

    std::size_t size() const { return ids_.size(); }
    bool hasApproximate() const { return approximate_ != nullptr; }

    /// The `limit` sounds nearest to `like`, nearest first (ties by id). With `among`, only the sounds
    /// with those ids count. exact: never the approximate index.
    std::vector<Hit> nearest(const SoundFeatures& like, const SimilarityWeights& weights, std::size_t limit,
                             const std::vector<Id>* among = nullptr, bool exact = false) const;
    /// How alike two sounds a distance apart are: 1 for the same, towards 0 far apart.
    static double similarityOf(double distance);

private:
    using Vector = std::array<float, kStride>;
    Vector scaled(const SoundFeatures& features) const;
    /// Each feature's factor in the squared distance for these weights; their sum is 1.
    static Vector factors(const SimilarityWeights& weights);
    std::vector<Hit> approximateNearest(const Vector& query, std::size_t limit) const;

    std::vector<Id> ids_;        ///< in order
    std::vector<float> vectors_; ///< kStride floats a sound, in the order of ids_
    std::array<float, soundFeatureCount> centre_{}, scale_{};
    std::unique_ptr<ApproximateIndex> approximate_;
    std::size_t contentHash_ = 0; ///< of the ids and features it was made of
};

class LibraryStore;
struct SearchQuery;

/// The sounds of `index` nearest to `like` among the files `store` finds for `within` (all of them
/// when it is empty), nearest first, at most limit + 1 so that the caller tells whether there are more;
/// none when the scope cannot be searched.
std::optional<std::vector<SimilarityIndex::Hit>> nearestWithin(LibraryStore& store, const SimilarityIndex& index,
                                                              const SoundFeatures& like,
                                                              const SimilarityWeights& weights,
                                                              const SearchQuery& within, int limit);

} // namespace library
