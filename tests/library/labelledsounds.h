// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sounds with known answers for the measures, made on demand from tables of cases: click tracks and
// drum loops at known tempos, sounds without a steady beat, chord progressions and scales in known
// keys, atonal sounds, and notes of known pitch.

#include <functional>
#include <string>
#include <vector>

namespace labelled {

enum class Kind {
    // A steady beat: three click sounds and four drum patterns.
    ClickBeep,
    ClickNoise,
    ClickWood,
    LoopRock,
    LoopHouse,
    LoopBreak,
    LoopFunk,
    // No steady beat.
    Hit,
    Cymbal,
    Explosion,
    Speech,
    SirenWail,
    SirenYelp,
    Noise,
    Chord,
    ShortShot,
    // A key.
    Progression,
    Scale,
    // Neither beat nor key nor note (besides the hits and noises above).
    Chromatic,
    // One note.
    Sine,
    Saw,
    Square,
    Pluck,
};

/// One row of a labelled set.
struct Case {
    Kind kind;
    /// Tempo in BPM (beat kinds), key (0-11: C major to B major, 12-23: C minor to B minor) or MIDI
    /// note; unused by the others.
    double value;
    int rate;
    int channels;
    /// Bars of four beats for the beat kinds, seconds for the others.
    double length;
    unsigned seed;
};

/// Interleaved float frames.
struct Sound {
    std::vector<float> samples;
    int rate = 0;
    int channels = 0;
    std::size_t frames() const { return channels > 0 ? samples.size() / std::size_t(channels) : 0; }
};

Sound render(const Case& c);
/// Interleaved frames of a function of channel and time.
Sound framesOf(int rate, int channels, double seconds, const std::function<double(int, double)>& f);
/// "LoopRock 120 BPM 8 bars 48000 Hz 2 ch" and the like, for messages.
std::string describe(const Case& c);

bool hasBeat(Kind kind);
/// The key's name as the measures write it ("A minor").
std::string keyName(int key);

/// The labelled sets; `full` gives the large sets the benchmark runs, else a few rows of each.
std::vector<Case> beatCases(bool full);
std::vector<Case> unsteadyCases(bool full);
std::vector<Case> keyCases(bool full);
std::vector<Case> atonalCases(bool full);
std::vector<Case> pitchCases(bool full);

} // namespace labelled
