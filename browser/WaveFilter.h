// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The filter of the wave list: the text a caption must contain, ignoring case and accents, and
// conditions on the analysis measures ("bpm:120-130", "lufs:<-20", "pitch:A4", "key:Am~").

#include "browser/WaveListModel.h"
#include "library/musicalkey.h"
#include "library/searchquery.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

/// A text as the filter compares it: folded as the library's searches fold it.
using library::searchFolded;

struct WaveFilter {
    enum class Measure { Loudness, Peak, Tempo, Pitch, Key };
    /// A measure within [low, high]; a pitch condition may instead name a note ("A", "A4", "C#3"); a
    /// key condition names a key, and with "~" the keys that mix with it too.
    struct Condition {
        Measure measure = Measure::Loudness;
        double low = 0;
        double high = 0;
        int pitchClass = -1; ///< 0 = C ... 11 = B when a note is named
        int octave = -100;   ///< with the note, when named too
        library::MusicalKey key; ///< of a key condition
        bool compatibleKeys = false;
    };
    /// The words a caption must all contain, in any order (folded); none matches every caption.
    std::vector<std::string> words;
    std::vector<Condition> conditions;
    /// Why each condition typed that cannot be read is left out, one line each.
    QStringList problems;
    /// "loop:": only rows whose file has loop points.
    bool loops = false;

    /// Words of the form measure:range become conditions, the rest are words. A word naming a measure
    /// whose range cannot be read is left out with the reason in problems, so a slip of the keys does
    /// not empty the list.
    static WaveFilter parse(const QString& typed);
    bool isEmpty() const { return words.empty() && conditions.empty() && !loops; }
    /// Whether rows are judged by more than their words: by their measures or their loop points.
    bool usesMeasures() const { return !conditions.empty() || loops; }
    bool matches(const WaveRow& row) const;
    bool matchesMeasures(const WaveRow& row) const;
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
