// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the library's timing programs share: sizes that the environment may set, and the words their
// generated sample-pack names are made of.
#include <cstdlib>

/// The positive number in the environment variable, else the fallback.
inline long sizeFromEnvironment(const char* name, long fallback)
{
    const char* v = std::getenv(name);
    return v && std::atol(v) > 0 ? std::atol(v) : fallback;
}

inline const char* const kKinds[] = {"Kick",  "Snare", "HiHat", "Clap",  "Tom",    "Perc", "Bass",  "Pad",  "Lead",
                                     "Pluck", "Vox",   "FX",    "Riser", "Impact", "Loop", "Chord", "Stab", "Arp"};
inline const char* const kMoods[] = {"Deep",  "Bright", "Dark", "Punchy", "Soft", "Hard", "Analog", "Vinyl",
                                     "Dusty", "Wet",    "Dry",  "Short",  "Long", "Warm", "Crisp",  "Tight"};
