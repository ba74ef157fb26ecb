// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/musicalkey.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace library {

namespace {

// Sharps for the keys whose signatures have sharps (G D A E B F# major, E B F# C# G# minor), flats
// elsewhere.
const char* const kMajorNames[] = {"C", "Db", "D", "Eb", "E", "F", "F#", "G", "Ab", "A", "Bb", "B"};
const char* const kMinorNames[] = {"C", "C#", "D", "Eb", "E", "F", "F#", "G", "G#", "A", "Bb", "B"};

int wrap(int pitchClass)
{
    return ((pitchClass % 12) + 12) % 12;
}

/// Position on the Camelot wheel, 1 to 12: C major is 8B, and each step clockwise is a fifth up.
int camelotNumber(const MusicalKey& k)
{
    // The relative major shares the number of its minor.
    const int major = k.minor ? wrap(k.tonic + 3) : k.tonic;
    // C=8, G=9, D=10, ...: the number grows by 7 semitones each step.
    return (wrap(major * 7) + 7) % 12 + 1;
}

std::optional<MusicalKey> parseCamelot(const std::string& s)
{
    if (s.size() < 2 || s.size() > 3)
        return std::nullopt;
    const char letter = char(std::toupper(static_cast<unsigned char>(s.back())));
    const std::string digits = s.substr(0, s.size() - 1);
    if ((letter != 'A' && letter != 'B') || !std::all_of(digits.begin(), digits.end(), ::isdigit))
        return std::nullopt;
    const int number = std::stoi(digits);
    if (number < 1 || number > 12)
        return std::nullopt;
    const int major = wrap((number - 8) * 7);
    return letter == 'B' ? MusicalKey{major, false} : MusicalKey{wrap(major - 3), true};
}

} // namespace

std::string MusicalKey::shortName() const
{
    return minor ? std::string(kMinorNames[wrap(tonic)]) + "m" : std::string(kMajorNames[wrap(tonic)]);
}

std::string MusicalKey::name() const
{
    return std::string(minor ? kMinorNames[wrap(tonic)] : kMajorNames[wrap(tonic)]) + (minor ? " minor" : " major");
}

std::string MusicalKey::camelot() const
{
    return std::to_string(camelotNumber(*this)) + (minor ? "A" : "B");
}

std::optional<MusicalKey> MusicalKey::parse(const std::string& text)
{
    std::string s;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            s += char(std::tolower(static_cast<unsigned char>(c)));
    if (s.empty())
        return std::nullopt;
    if (std::isdigit(static_cast<unsigned char>(s[0])))
        return parseCamelot(s);
    static const int kLetters[] = {9, 11, 0, 2, 4, 5, 7}; // a to g
    if (s[0] < 'a' || s[0] > 'g')
        return std::nullopt;
    MusicalKey k{kLetters[s[0] - 'a'], false};
    std::size_t i = 1;
    if (i < s.size() && (s[i] == '#' || s[i] == 'b')) {
        // "b" after the letter is a flat unless it is all that follows ("Ab" is A flat; "bb" is B flat).
        k.tonic = wrap(k.tonic + (s[i] == '#' ? 1 : -1));
        ++i;
    }
    const std::string mode = s.substr(i);
    if (mode == "m" || mode == "min" || mode == "minor")
        k.minor = true;
    else if (!(mode.empty() || mode == "maj" || mode == "major"))
        return std::nullopt;
    return k;
}

std::vector<MusicalKey> MusicalKey::compatibleKeys() const
{
    const MusicalKey relative = minor ? MusicalKey{wrap(tonic + 3), false} : MusicalKey{wrap(tonic - 3), true};
    return {*this, relative, {wrap(tonic + 7), minor}, {wrap(tonic - 7), minor}};
}

bool MusicalKey::isCompatibleWith(const MusicalKey& other) const
{
    const auto keys = compatibleKeys();
    return std::find(keys.begin(), keys.end(), other) != keys.end();
}

std::string pitchName(double midiNote)
{
    static const char* const kNoteNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    const long note = std::lround(midiNote);
    const int cents = int(std::lround((midiNote - double(note)) * 100));
    const long octave = note / 12 - 1;
    std::string name = kNoteNames[wrap(int(note % 12))] + std::to_string(octave);
    if (cents != 0)
        name += (cents > 0 ? " +" : " ") + std::to_string(cents);
    return name;
}

} // namespace library
