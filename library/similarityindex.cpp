// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/similarityindex.h"

#include "library/approximateindex.h"
#include "library/librarystore.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>
#include <numeric>
#include <string_view>

namespace library {

namespace {

// How much of the distance each block of features takes at weights of 1 (they add up to 1). The
// harmonics tell notes' timbres apart whatever their pitch, where the MFCCs of two notes an octave
// apart differ more than those of two instruments; the envelope tells a drum from a held note. These
// shares find sounds of a kind best among the labelled sounds of tst_soundsimilarity.
struct Block {
    std::size_t end;
    double share;
};
constexpr Block kBlocks[] = {
    {13, 0.05}, // MFCC means
    {26, 0.05}, // MFCC spreads
    {32, 0.1},  // centroid, flatness, roll-off
    {39, 0.4},  // harmonics
    {44, 0.3},  // envelope
    {46, 0.05}, // note, and whether it is one
    {48, 0.05}, // crest and zero crossings
};
static_assert(kBlocks[std::size(kBlocks) - 1].end == soundFeatureCount);
// A scaled feature further out than this from the middle counts as this far, and distances from the
// middle grow as their logarithm: the MFCCs of pure tones, far from those of most sounds, do not
// outweigh every other feature.
constexpr float kFarthest = 6;
// Of the sounds an approximate search finds, this many times the limit are measured exactly.
constexpr std::size_t kApproximateCandidates = 2;

// The middle and spread of each feature over sounds of many kinds (drums, notes of six timbres,
// speech-like noise, sweeps: the labelled sounds of tst_soundsimilarity). A few sounds tell their own
// spread badly, so their scale leans on this one, the more the fewer they are: five files of a folder
// are then compared as the library would compare them.
constexpr float kReferenceCentre[soundFeatureCount] = {
    -3.158f, 1.364f, 0.2755f, 0.426f, 0.2523f, 0.2089f, 0.1019f, 0.08431f, 0.06113f, 0.06384f, 0.0441f, 0.04359f,
    0.03806f, 2.16f, 0.4697f, 0.2671f, 0.1868f, 0.1292f, 0.1085f, 0.09893f, 0.09469f, 0.09054f, 0.08666f, 0.09367f,
    0.09559f, 0.1005f, 8.914f, 0.05911f, -3.12f, 0.1301f, 9.404f, 0.07361f, -9.544f, -12.46f, -18.75f, -20.06f,
    -30.41f, -24.75f, -38.4f, -0.02135f, -1.759f, -1.064f, 0.3757f, 0.938f, 57.23f, 1.f, 2.478f, 2.813f};
constexpr float kReferenceSpread[soundFeatureCount] = {
    3.013f, 1.768f, 0.5012f, 0.4016f, 0.3595f, 0.354f, 0.2613f, 0.2002f, 0.2165f, 0.1696f, 0.1686f, 0.1354f,
    0.136f, 1.139f, 0.2846f, 0.2539f, 0.1715f, 0.1345f, 0.1311f, 0.1107f, 0.1048f, 0.08984f, 0.08985f, 0.09097f,
    0.09778f, 0.09216f, 1.375f, 0.2807f, 0.786f, 0.1206f, 1.542f, 0.265f, 29.29f, 9.859f, 33.21f, 14.17f,
    29.4f, 31.6f, 26.7f, 0.4463f, 0.3948f, 0.6889f, 0.1884f, 0.4225f, 7.77f, 0.7413f, 0.2959f, 0.5322f};
// Sounds that count as much as the reference in the scale: at this many, half of it is their own.
constexpr double kReferenceWeight = 64;

/// Each feature's share of the distance at weights of 1.
struct Shares {
    std::array<double, soundFeatureCount> feature{};
    Shares()
    {
        std::size_t begin = 0;
        for (const Block& b : kBlocks) {
            for (std::size_t i = begin; i < b.end; ++i)
                feature[i] = b.share / double(b.end - begin);
            begin = b.end;
        }
    }
};

/// The value at share q (0..1) of the values (not empty), which it reorders.
float quantile(std::vector<float>& values, double q)
{
    const double at = q * double(values.size() - 1);
    const auto low = std::size_t(at);
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(low), values.end());
    const float below = values[low];
    if (low + 1 >= values.size())
        return below;
    const float above = *std::min_element(values.begin() + std::ptrdiff_t(low + 1), values.end());
    return float(below + (at - double(low)) * (above - below));
}

bool usualWeights(const SimilarityWeights& w)
{
    return w.timbre == 1 && w.pitch == 1 && w.envelope == 1;
}

} // namespace

SimilarityIndex::SimilarityIndex() = default;
SimilarityIndex::~SimilarityIndex() = default;
SimilarityIndex::SimilarityIndex(SimilarityIndex&&) noexcept = default;
SimilarityIndex& SimilarityIndex::operator=(SimilarityIndex&&) noexcept = default;

SimilarityIndex::SimilarityIndex(std::vector<Id> ids, const std::vector<SoundFeatures>& features,
                                 std::size_t approximateFrom)
{
    const std::size_t n = std::min(ids.size(), features.size());
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return ids[a] < ids[b]; });
    // Each feature's middle and spread over these sounds: the median, and the quartiles' distance
    // (or else the whole range) so that no feature's unit decides its weight.
    std::vector<float> values;
    for (std::size_t f = 0; f < soundFeatureCount; ++f) {
        values.clear();
        for (std::size_t i = 0; i < n; ++i)
            if (std::isfinite(features[i][f]))
                values.push_back(features[i][f]);
        if (values.empty()) {
            centre_[f] = kReferenceCentre[f];
            scale_[f] = kReferenceSpread[f];
            continue;
        }
        const float centre = quantile(values, 0.5);
        float spread = (quantile(values, 0.75) - quantile(values, 0.25)) / 1.349f;
        if (!(spread > 1e-6f)) {
            const auto [low, high] = std::minmax_element(values.begin(), values.end());
            spread = (*high - *low) / 4;
        }
        const float own = float(double(values.size()) / (double(values.size()) + kReferenceWeight));
        centre_[f] = own * centre + (1 - own) * kReferenceCentre[f];
        spread = own * spread + (1 - own) * kReferenceSpread[f];
        scale_[f] = spread > 1e-6f ? spread : 1.f;
    }
    ids_.reserve(n);
    vectors_.resize(n * kStride);
    for (std::size_t k = 0; k < n; ++k) {
        ids_.push_back(ids[order[k]]);
        const Vector v = scaled(features[order[k]]);
        std::copy(v.begin(), v.end(), vectors_.begin() + std::ptrdiff_t(k * kStride));
    }
    if (n >= approximateFrom && n > 0) {
        // The graph links sounds by the distance at the usual weights: the vectors go in weighted.
        const Vector f = factors({});
        std::vector<float> weighted(vectors_);
        for (std::size_t i = 0; i < weighted.size(); ++i)
            weighted[i] *= std::sqrt(f[i % kStride]);
        approximate_ = std::make_unique<ApproximateIndex>(weighted.data(), n, kStride);
    }
}

void SimilarityIndex::update(std::vector<Id> ids, const std::vector<SoundFeatures>& features)
{
    const std::size_t hash =
        std::hash<std::string_view>()({reinterpret_cast<const char*>(ids.data()), ids.size() * sizeof ids[0]}) ^
        std::hash<std::string_view>()(
            {reinterpret_cast<const char*>(features.data()), features.size() * sizeof features[0]});
    if (hash == contentHash_ && size() == ids.size())
        return;
    *this = SimilarityIndex(std::move(ids), features);
    contentHash_ = hash;
}

std::optional<std::vector<SimilarityIndex::Hit>> nearestWithin(LibraryStore& store, const SimilarityIndex& index,
                                                              const SoundFeatures& like,
                                                              const SimilarityWeights& weights,
                                                              const SearchQuery& within, int limit)
{
    if (limit <= 0)
        return std::vector<SimilarityIndex::Hit>();
    // The scope: the files an ordinary search finds, in any order.
    std::vector<SimilarityIndex::Id> among;
    if (!within.isEmpty()) {
        const SearchResult scope = store.search(within, {}, INT_MAX - 1);
        if (scope.failed)
            return std::nullopt;
        for (const SearchRow& r : scope.rows)
            among.push_back(r.id);
    }
    return index.nearest(like, weights, std::size_t(limit) + 1, within.isEmpty() ? nullptr : &among);
}

SimilarityIndex::Vector SimilarityIndex::scaled(const SoundFeatures& features) const
{
    Vector v{};
    for (std::size_t f = 0; f < soundFeatureCount; ++f) {
        // A feature a sound lacks (the note of a noise) sits in the middle; other features tell it.
        const float z = (features[f] - centre_[f]) / scale_[f];
        v[f] = std::isfinite(z) ? std::copysign(std::log1p(std::min(std::abs(z), kFarthest)), z) : 0.f;
    }
    return v;
}

SimilarityIndex::Vector SimilarityIndex::factors(const SimilarityWeights& weights)
{
    auto clampWeight = [](double w) { return std::isfinite(w) ? std::clamp(w, 0.0, 3.0) : 1.0; };
    double timbre = clampWeight(weights.timbre), envelope = clampWeight(weights.envelope),
           pitch = clampWeight(weights.pitch);
    if (timbre + envelope + pitch <= 0) // nothing counts: everything counts alike
        timbre = envelope = pitch = 1;
    static const Shares shares;
    const double weight[] = {timbre, envelope, pitch};
    Vector f{};
    double total = 0;
    for (std::size_t i = 0; i < soundFeatureCount; ++i)
        total += f[i] = float(weight[int(featureGroup(i))] * shares.feature[i]);
    for (float& v : f)
        v = float(v / total);
    return f;
}

double SimilarityIndex::similarityOf(double distance)
{
    return 1 / (1 + std::max(0.0, distance));
}

std::vector<SimilarityIndex::Hit> SimilarityIndex::nearest(const SoundFeatures& like, const SimilarityWeights& weights,
                                                           std::size_t limit, const std::vector<Id>* among,
                                                           bool exact) const
{
    std::vector<Hit> out;
    if (limit == 0 || ids_.empty())
        return out;
    const Vector query = scaled(like);
    if (approximate_ && !exact && !among && usualWeights(weights))
        return approximateNearest(query, limit);
    const Vector factor = factors(weights);
    // The rows to look at: all, or those of the ids asked for.
    std::vector<std::uint32_t> rows;
    if (among) {
        for (Id id : *among) {
            const auto at = std::lower_bound(ids_.begin(), ids_.end(), id);
            if (at != ids_.end() && *at == id)
                rows.push_back(std::uint32_t(at - ids_.begin()));
        }
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    }
    const std::size_t count = among ? rows.size() : ids_.size();
    std::vector<std::pair<float, std::uint32_t>> found(count);
    const float* q = query.data();
    const float* w = factor.data();
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t row = among ? rows[k] : std::uint32_t(k);
        const float* v = vectors_.data() + std::size_t(row) * kStride;
        // Eight sums side by side over whole vector registers: the compiler spreads them over lanes,
        // which one running sum of floats would keep it from.
        float lanes[8] = {};
        for (std::size_t i = 0; i < kStride; i += 8)
            for (std::size_t j = 0; j < 8; ++j) {
                const float d = v[i + j] - q[i + j];
                lanes[j] += w[i + j] * d * d;
            }
        found[k] = {((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) + ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7])),
                    row};
    }
    const std::size_t n = std::min(limit, found.size());
    std::partial_sort(found.begin(), found.begin() + std::ptrdiff_t(n), found.end());
    out.reserve(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double distance = std::sqrt(double(found[k].first));
        out.push_back({ids_[found[k].second], distance, similarityOf(distance)});
    }
    return out;
}

std::vector<SimilarityIndex::Hit> SimilarityIndex::approximateNearest(const Vector& query, std::size_t limit) const
{
    const Vector factor = factors({});
    Vector weighted{};
    for (std::size_t i = 0; i < kStride; ++i)
        weighted[i] = query[i] * std::sqrt(factor[i]);
    // The graph's distances are those of the exact search; more candidates than asked make up for
    // the ones it misses near the edge.
    auto found = approximate_->nearest(weighted.data(), limit * kApproximateCandidates);
    std::sort(found.begin(), found.end());
    found.resize(std::min(found.size(), limit));
    std::vector<Hit> out;
    out.reserve(found.size());
    for (const auto& [squared, row] : found) {
        const double distance = std::sqrt(double(std::max(0.f, squared)));
        out.push_back({ids_[row], distance, similarityOf(distance)});
    }
    return out;
}

} // namespace library
