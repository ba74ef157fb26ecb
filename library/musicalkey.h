// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A musical key (tonic and mode): its name, its Camelot code, reading what a user types, and which
// keys mix well with it.

#include <optional>
#include <string>
#include <vector>

namespace library {

struct MusicalKey {
    int tonic = 0;      ///< pitch class of the tonic, 0 = C to 11 = B
    bool minor = false; ///< minor mode, else major

    bool operator==(const MusicalKey& o) const { return tonic == o.tonic && minor == o.minor; }
    bool operator!=(const MusicalKey& o) const { return !(*this == o); }

    /// "A minor", "F# major", "Bb major": flats where key signatures use them.
    std::string name() const;
    /// "Am", "F#", "Bb": the short form a user types.
    std::string shortName() const;
    /// The Camelot wheel's code: "8A" for A minor, "8B" for C major.
    std::string camelot() const;

    /// Reads "Am", "A minor", "a min", "C#", "Db major", "F#m", "8A", "12b"; nothing for anything else.
    static std::optional<MusicalKey> parse(const std::string& text);

    /// The keys that mix with this one: itself, its relative (same signature) and the keys a fifth
    /// up and down in the same mode (the neighbours on the Camelot wheel).
    std::vector<MusicalKey> compatibleKeys() const;
    bool isCompatibleWith(const MusicalKey& other) const;
};

/// The note nearest a MIDI note number, with how far off it is in cents: "A4", "C#5 +12", "E2 -3".
std::string pitchName(double midiNote);

} // namespace library
