// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/approximateindex.h"

#include <algorithm>
#include <hnswlib/hnswlib.h>

namespace library {

namespace {

// Links a node keeps, and how widely building and searching look: recall over 0.95 at ten
// neighbours for a few milliseconds a search (see bench_library_similar).
constexpr std::size_t kLinks = 16, kBuildBreadth = 100, kLeastSearchBreadth = 64;

} // namespace

struct ApproximateIndex::State {
    explicit State(std::size_t dimensions, std::size_t count)
        : space(dimensions), graph(&space, std::max<std::size_t>(count, 1), kLinks, kBuildBreadth)
    {
    }
    hnswlib::L2Space space;
    hnswlib::HierarchicalNSW<float> graph;
};

ApproximateIndex::ApproximateIndex(const float* vectors, std::size_t count, std::size_t dimensions)
    : d_(std::make_unique<State>(dimensions, count))
{
    for (std::size_t i = 0; i < count; ++i)
        d_->graph.addPoint(vectors + i * dimensions, i);
}

ApproximateIndex::~ApproximateIndex() = default;

std::vector<std::pair<float, std::size_t>> ApproximateIndex::nearest(const float* query, std::size_t limit) const
{
    std::vector<std::pair<float, std::size_t>> out;
    if (limit == 0)
        return out;
    // The breadth is the graph's; searches run one at a time on the thread that owns the index.
    d_->graph.setEf(std::max(limit * 2, kLeastSearchBreadth));
    auto found = d_->graph.searchKnn(query, limit);
    out.resize(found.size());
    for (std::size_t i = found.size(); i-- > 0; found.pop()) // farthest first
        out[i] = {found.top().first, std::size_t(found.top().second)};
    return out;
}

} // namespace library
