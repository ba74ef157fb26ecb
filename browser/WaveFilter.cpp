// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/WaveFilter.h"

#include <algorithm>
#include <string_view>

WaveFilter WaveFilter::parse(const QString& typed)
{
    WaveFilter f;
    static_cast<library::SearchQuery&>(f) = library::SearchQuery::parse(typed);
    return f;
}

bool WaveFilter::matches(const WaveRow& row) const
{
    if (!words.empty()) {
        std::string caption = searchFolded(row.caption);
        if (!row.fileTexts.isEmpty())
            caption += '\n' + searchFolded(row.fileTexts);
        for (const std::string& word : words)
            if (caption.find(word) == std::string::npos)
                return false;
    }
    return matchesConditions(row);
}

bool WaveFilter::matchesConditions(const WaveRow& row) const
{
    if (loops && row.loops == 0)
        return false;
    if (usesMarks()) {
        std::vector<std::string> folded;
        for (const QString& tag : row.tags)
            folded.push_back(searchFolded(tag));
        if (!marksMatch(row.favourite, folded))
            return false;
    }
    // A row not yet measured, or without the measure, is not known to match.
    if (!usesMeasures())
        return true;
    const library::SoundAnalysis& m = row.measures;
    return row.analysed && measuresMatch(m.loudness, m.peak, m.tempo, m.pitch, m.key);
}

void FoldedCaptions::make(const WaveListModel& rows)
{
    text.clear();
    starts.clear();
    starts.reserve(size_t(rows.rowCount()) + 1);
    text.reserve(size_t(rows.rowCount()) * 24);
    for (int r = 0; r < rows.rowCount(); ++r) {
        starts.push_back(uint32_t(text.size()));
        library::appendFolded(rows.row(r).caption, text);
        // The file's own texts after a line break, which no typed word holds: a word is found in
        // either, never across both.
        if (!rows.row(r).fileTexts.isEmpty()) {
            text.push_back('\n');
            library::appendFolded(rows.row(r).fileTexts, text);
        }
        text.push_back('\0');
    }
    starts.push_back(uint32_t(text.size()));
    version = rows.captionsVersion();
}

std::vector<char> FoldedCaptions::rowsContaining(const std::string& folded) const
{
    const size_t rowCount = starts.empty() ? 0 : starts.size() - 1;
    std::vector<char> found(rowCount, folded.empty() ? 1 : 0);
    // No caption holds a zero byte; such a text would otherwise match across two captions.
    if (folded.empty() || folded.find('\0') != std::string::npos)
        return found;
    const std::string_view all(text.data(), text.size());
    auto row = starts.begin();
    for (size_t at = 0; at < all.size();) {
        const size_t hit = all.find(folded, at);
        if (hit == std::string_view::npos)
            break;
        // The row the hit lies in; the search goes on at the next row.
        row = std::upper_bound(row, starts.end(), uint32_t(hit)) - 1;
        found[size_t(row - starts.begin())] = 1;
        at = *(row + 1);
    }
    return found;
}

std::vector<char> FoldedCaptions::rowsContainingAll(const std::vector<std::string>& words) const
{
    if (words.empty())
        return rowsContaining(std::string());
    std::vector<char> found = rowsContaining(words.front());
    for (size_t w = 1; w < words.size(); ++w) {
        const std::vector<char> also = rowsContaining(words[w]);
        for (size_t r = 0; r < found.size(); ++r)
            found[r] = char(found[r] & also[r]);
    }
    return found;
}
