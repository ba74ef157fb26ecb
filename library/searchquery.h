// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a user types to find sounds, in the folder's filter box and in the library alike: words a name
// must contain, ignoring case and accents, in any order, conditions on the measures ("bpm:120-130",
// "lufs:<-20", "pitch:A4", "key:Am~") and on the user's marks ("tag:kick", "fav:"). One grammar for both, so a search means the
// same wherever it is typed.

#include "library/musicalkey.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

namespace library {

/// A text as searches compare it (UTF-8): accents and other combining marks removed, case folded.
std::string searchFolded(const QString& text);
/// A name's bytes folded (UTF-8; odd bytes as the replacement character).
std::string searchFoldedBytes(const std::string& bytes);
/// Appends the folded text to out.
void appendFolded(const QString& text, std::string& out);
/// The words a file is found by: its name's bytes and its own texts, folded.
std::string fileWords(const std::string& name, const QString& texts);
/// Tags as typed: a comma parts them, each trimmed, once by its folded text (the first spelling), none empty.
struct TagText {
    std::string folded;
    QString tag;
};
std::vector<TagText> tagTexts(const QStringList& typed);
/// The number of characters (code points) of a UTF-8 text.
size_t characterCount(const std::string& utf8);

enum class Measure { Loudness, Peak, Tempo, Pitch, Key };

/// "A", "a4", "C#3", "Db2": the pitch class and, when given, the octave (else -100).
bool readNote(const QString& s, int& pitchClass, int& octave);
/// "120", "120-130", "<-20", ">=-14", "-30--20": the range a value must lie in. A single number stands
/// for the values shown as it, to its last digit.
bool readRange(const QString& s, double& low, double& high);

struct SearchQuery {
    /// A measure within [low, high]; a pitch condition may instead name a note ("A", "A4", "C#3"), and
    /// a key condition names the keys that match.
    struct Condition {
        Measure measure = Measure::Loudness;
        double low = 0;
        double high = 0;
        int pitchClass = -1;          ///< 0 = C ... 11 = B when a note is named
        int octave = -100;            ///< with the note, when named too
        std::vector<MusicalKey> keys; ///< for Key: the key typed, with "~" also those that mix with it

        /// Whether a measured value (NaN: the sound has no such measure) or key meets the condition.
        bool holdsFor(double value, const std::optional<MusicalKey>& key = std::nullopt) const;
    };

    /// The words a name must all contain, in any order (folded); none matches every name.
    std::vector<std::string> words;
    std::vector<Condition> conditions;
    /// Why each condition typed that cannot be read is left out, one line each.
    QStringList problems;
    /// "loop:": only files with loop points.
    bool loops = false;

    /// Tags a file must carry ("tag:kick"), folded; favourites only ("fav:").
    std::vector<std::string> tags;
    bool favourites = false;

    /// An absolute folder path without trailing '/': only the files directly in it. Never typed; set by
    /// whoever searches within the folder on screen.
    std::string folder;

    /// Words of the form measure:range become conditions, "tag:" and "fav:" ask for the user's marks,
    /// the rest are words. A condition whose value cannot be read is left out with the reason in
    /// problems, so a slip of the keys does not empty the list. "loop:" keeps the files with loop
    /// points.
    static SearchQuery parse(const QString& typed);
    bool isEmpty() const { return words.empty() && conditions.empty() && !usesMarks() && !loops && folder.empty(); }
    bool usesMeasures() const { return !conditions.empty(); }
    bool usesMarks() const { return favourites || !tags.empty(); }
    /// Whether a file with this star and these tags (folded) meets the tag: and fav: conditions.
    bool marksMatch(bool favourite, const std::vector<std::string>& foldedTags) const;
    /// Whether a measured value meets every condition; see Condition::holdsFor.
    bool measuresMatch(double loudness, double peak, double tempo, double pitch,
                       const std::optional<MusicalKey>& key) const;
};

} // namespace library
