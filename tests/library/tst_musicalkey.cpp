// SPDX-License-Identifier: GPL-3.0-or-later
// Keys as users read and type them: names, Camelot codes, and the keys that mix with one.
#include "library/musicalkey.h"

#include <gtest/gtest.h>

namespace {

using library::MusicalKey;

TEST(MusicalKey, NamesCodesAndWhatUsersType)
{
    struct Row {
        const char* typed;
        const char* name;
        const char* code;
    } rows[] = {
        {"Am", "A minor", "8A"},       {"C", "C major", "8B"},       {"a min", "A minor", "8A"},
        {"F#m", "F# minor", "11A"},    {"Gb major", "F# major", "2B"}, {"bbm", "Bb minor", "3A"},
        {"Db", "Db major", "3B"},      {"C#", "Db major", "3B"},     {"E", "E major", "12B"},
        {"Ebm", "Eb minor", "2A"},     {"8A", "A minor", "8A"},      {"12b", "E major", "12B"},
        {"1A", "G# minor", "1A"},      {" G  Major ", "G major", "9B"},
    };
    for (const Row& r : rows) {
        const auto key = MusicalKey::parse(r.typed);
        ASSERT_TRUE(key.has_value()) << r.typed;
        EXPECT_EQ(key->name(), r.name) << r.typed;
        EXPECT_EQ(key->camelot(), r.code) << r.typed;
        EXPECT_EQ(MusicalKey::parse(key->shortName()), key) << r.typed;
    }
    for (const char* wrong : {"", "H", "Am7", "13A", "0B", "9C", "A minor major", "#"})
        EXPECT_FALSE(MusicalKey::parse(wrong).has_value()) << wrong;
}

TEST(MusicalKey, CompatibleKeysAreTheNeighboursOnTheWheel)
{
    const MusicalKey am = *MusicalKey::parse("Am");
    std::vector<std::string> names;
    for (const MusicalKey& k : am.compatibleKeys())
        names.push_back(k.shortName());
    EXPECT_EQ(names, (std::vector<std::string>{"Am", "C", "Em", "Dm"}));
    EXPECT_TRUE(am.isCompatibleWith(*MusicalKey::parse("C")));
    EXPECT_FALSE(am.isCompatibleWith(*MusicalKey::parse("A"))); // the parallel major is not
    EXPECT_FALSE(am.isCompatibleWith(*MusicalKey::parse("G")));
    // Every key's neighbours lie one step either way on its ring of the wheel, its relative beside it.
    for (int i = 0; i < 24; ++i) {
        const MusicalKey k{i % 12, i >= 12};
        const int number = std::stoi(k.camelot());
        for (const MusicalKey& n : k.compatibleKeys()) {
            const int step = (std::stoi(n.camelot()) - number + 12) % 12;
            EXPECT_TRUE(n.minor == k.minor ? step == 0 || step == 1 || step == 11 : step == 0) << k.name() << " " << n.name();
        }
    }
}

} // namespace
