// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/WaveFilter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

double measureOf(const platform::SoundMeasures& m, WaveFilter::Measure which)
{
    switch (which) {
    case WaveFilter::Measure::Loudness:
        return m.loudness;
    case WaveFilter::Measure::Peak:
        return m.peak;
    case WaveFilter::Measure::Tempo:
        return m.tempo;
    case WaveFilter::Measure::Pitch:
        return m.pitch;
    case WaveFilter::Measure::Key:
        break;
    }
    return std::nan("");
}

} // namespace

WaveFilter WaveFilter::parse(const QString& typed)
{
    WaveFilter f;
    static_cast<library::SearchQuery&>(f) = library::SearchQuery::parse(typed);
    return f;
}

bool WaveFilter::matches(const WaveRow& row) const
{
    if (!words.empty()) {
        const std::string caption = searchFolded(row.caption);
        for (const std::string& word : words)
            if (caption.find(word) == std::string::npos)
                return false;
    }
    return matchesMeasures(row);
}

bool WaveFilter::matchesMeasures(const WaveRow& row) const
{
    // A row not yet measured is not known to match; the rows know no keys yet.
    for (const Condition& c : conditions)
        if (!row.analysed || !c.holdsFor(measureOf(row.measures, c.measure)))
            return false;
    return true;
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
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    auto row = starts.begin();
    for (const char* at = begin; at < end;) {
        const auto* hit = static_cast<const char*>(memmem(at, size_t(end - at), folded.data(), folded.size()));
        if (!hit)
            break;
        // The row the hit lies in; the search goes on at the next row.
        row = std::upper_bound(row, starts.end(), uint32_t(hit - begin)) - 1;
        found[size_t(row - starts.begin())] = 1;
        at = begin + *(row + 1);
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
