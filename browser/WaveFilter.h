// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The filter of the wave list: the text a caption must contain, ignoring case and accents, conditions
// on the analysis measures ("bpm:120-130", "lufs:<-20", "pitch:A4", "key:Am~") and on the user's marks
// ("tag:kick", "fav:").

#include "browser/WaveListModel.h"
#include "library/searchquery.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

/// A text as the filter compares it: folded as the library's searches fold it.
using library::searchFolded;

/// The filter of the wave list: what was typed, read by the library's one grammar of searches, and
/// judged here against the list's rows: the words against their captions, the conditions against their
/// measures and the user's marks.
struct WaveFilter : library::SearchQuery {
    static WaveFilter parse(const QString& typed);
    /// Whether a row's conditions are judged one by one (measures or marks), not by the captions alone.
    bool usesConditions() const { return usesMeasures() || usesMarks() || loops; }
    bool matches(const WaveRow& row) const;
    /// Whether a row meets the measure and mark conditions (its caption aside).
    bool matchesConditions(const WaveRow& row) const;
};

/// Every row's caption and file texts folded, one after another, each row followed by a zero byte: one
/// search through it finds the rows holding a text far quicker than a search of each caption.
struct FoldedCaptions {
    std::string text;
    std::vector<uint32_t> starts; ///< where each row's caption begins, and the end of the last
    quint64 version = ~quint64(0); ///< the model's captionsVersion it was made from

    void make(const WaveListModel& rows);
    /// 1 for each row whose folded caption contains the folded text.
    std::vector<char> rowsContaining(const std::string& folded) const;
    /// 1 for each row whose folded caption contains every one of the folded words.
    std::vector<char> rowsContainingAll(const std::vector<std::string>& words) const;
};
