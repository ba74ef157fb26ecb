// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An approximate nearest-neighbour index (a hierarchical navigable small world graph, hnswlib) over
// vectors already weighted, for libraries too large to read whole at every search.

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace library {

class ApproximateIndex {
public:
    /// `count` vectors of `dimensions` floats, one after another; labels are their positions.
    ApproximateIndex(const float* vectors, std::size_t count, std::size_t dimensions);
    ~ApproximateIndex();
    ApproximateIndex(const ApproximateIndex&) = delete;
    ApproximateIndex& operator=(const ApproximateIndex&) = delete;

    /// The positions of about the `limit` nearest vectors, with their squared distances, nearest first.
    std::vector<std::pair<float, std::size_t>> nearest(const float* query, std::size_t limit) const;

private:
    struct State;
    std::unique_ptr<State> d_;
};

} // namespace library
