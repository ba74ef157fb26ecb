// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/WaveFilter.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace {

using library::readNote;
using library::readRange;

enum class Reading { NotACondition, Read, Unreadable };

/// "key:Am", "key:F#", "key:8A"; a "~" after the key takes the keys that mix with it as well.
Reading readKeyCondition(const QString& word, const QString& value, WaveFilter::Condition& c, QString& problem)
{
    c.measure = WaveFilter::Measure::Key;
    c.compatibleKeys = value.endsWith(QLatin1Char('~'));
    const QString named = c.compatibleKeys ? value.chopped(1) : value;
    if (const auto key = library::MusicalKey::parse(named.toStdString())) {
        c.key = *key;
        return Reading::Read;
    }
    problem = value.isEmpty() ? QStringLiteral("%1 needs a key such as Am, F#, Bb major or 8A").arg(word)
                              : QStringLiteral("%1: \"%2\" is not a key (Am, F#, Bb major, 8A; ~ for the keys that "
                                               "mix with it)")
                                    .arg(word, value);
    return Reading::Unreadable;
}

/// A word naming a measure ("bpm:", "lufs:", ...) is a condition; why its range cannot be read goes to
/// problem.
Reading readCondition(const QString& word, WaveFilter::Condition& c, QString& problem)
{
    const int colon = int(word.indexOf(QLatin1Char(':')));
    if (colon <= 0)
        return Reading::NotACondition;
    const QString key = word.left(colon).toLower();
    const QString value = word.mid(colon + 1);
    using M = WaveFilter::Measure;
    if (key == QLatin1String("key"))
        return readKeyCondition(word, value, c, problem);
    if (key == QLatin1String("lufs") || key == QLatin1String("loudness"))
        c.measure = M::Loudness;
    else if (key == QLatin1String("peak") || key == QLatin1String("db"))
        c.measure = M::Peak;
    else if (key == QLatin1String("bpm") || key == QLatin1String("tempo"))
        c.measure = M::Tempo;
    else if (key == QLatin1String("pitch") || key == QLatin1String("note"))
        c.measure = M::Pitch;
    else
        return Reading::NotACondition;
    if (c.measure == M::Pitch && readNote(value, c.pitchClass, c.octave))
        return Reading::Read;
    if (readRange(value, c.low, c.high))
        return Reading::Read;
    const QString ranges = QStringLiteral("a number or range such as 120, 120-130, <120 or >=120");
    if (value.isEmpty())
        problem = QStringLiteral("%1 needs %2").arg(word, c.measure == M::Pitch ? QStringLiteral("a note such as A4") : ranges);
    else if (c.measure == M::Pitch)
        problem = QStringLiteral("%1: \"%2\" is not a note (A to G, # or b, an octave: A4, C#3, Db)").arg(word, value);
    else
        problem = QStringLiteral("%1: \"%2\" is not %3").arg(word, value, ranges);
    return Reading::Unreadable;
}

double measureOf(const library::SoundAnalysis& m, WaveFilter::Measure which)
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
    const QStringList words = typed.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& word : words) {
        if (word.compare(QLatin1String("loop:"), Qt::CaseInsensitive) == 0) {
            f.loops = true;
            continue;
        }
        Condition c;
        QString problem;
        switch (readCondition(word, c, problem)) {
        case Reading::Read:
            f.conditions.push_back(c);
            break;
        case Reading::Unreadable:
            f.problems << problem;
            break;
        case Reading::NotACondition:
            f.words.push_back(searchFolded(word));
            break;
        }
    }
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
    return matchesMeasures(row);
}

bool WaveFilter::matchesMeasures(const WaveRow& row) const
{
    if (loops && row.loops == 0)
        return false;
    for (const Condition& c : conditions) {
        // A row not yet measured, or without the measure, is not known to match.
        if (!row.analysed)
            return false;
        if (c.measure == Measure::Key) {
            const auto& key = row.measures.key;
            if (!key || (c.compatibleKeys ? !c.key.isCompatibleWith(*key) : c.key != *key))
                return false;
            continue;
        }
        const double v = measureOf(row.measures, c.measure);
        if (std::isnan(v))
            return false;
        if (c.pitchClass >= 0) {
            const int note = int(std::lround(v));
            if ((note % 12 + 12) % 12 != c.pitchClass)
                return false;
            if (c.octave != -100 && note / 12 - 1 != c.octave)
                return false;
        } else if (v < c.low || v > c.high) {
            return false;
        }
    }
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
