// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The filter of the wave list: the library's search query (words a caption must contain, ignoring case
// and accents, and conditions on the measures) matched against the rows of the folder on screen.

#include "browser/WaveListModel.h"
#include "library/searchquery.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

using library::searchFolded;

struct WaveFilter : library::SearchQuery {
    using Measure = library::Measure;

    /// The query typed, as library::SearchQuery::parse reads it.
    static WaveFilter parse(const QString& typed);
    bool matches(const WaveRow& row) const;
    bool matchesMeasures(const WaveRow& row) const;
};

/// Every row's caption folded, one after another, each followed by a zero byte: one search through it
/// finds the rows holding a text far quicker than a search of each caption.
struct FoldedCaptions {
    std::string text;
    std::vector<uint32_t> starts;  ///< where each row's caption begins, and the end of the last
    quint64 version = ~quint64(0); ///< the model's captionsVersion it was made from

    void make(const WaveListModel& rows);
    /// 1 for each row whose folded caption contains the folded text.
    std::vector<char> rowsContaining(const std::string& folded) const;
    /// 1 for each row whose folded caption contains every one of the folded words.
    std::vector<char> rowsContainingAll(const std::vector<std::string>& words) const;
};
