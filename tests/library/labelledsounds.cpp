// SPDX-License-Identifier: GPL-3.0-or-later
#include "labelledsounds.h"

#include "synthesis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

namespace labelled {

namespace {

using namespace synth;

Samples click(Kind kind, int rate, bool accent, Random& random)
{
    switch (kind) {
    case Kind::ClickBeep: {
        Samples s = additive(rate, accent ? 2000 : 1500, 0.03, {{1, 1, 0}});
        decay(s, rate, 0.0005, 0.008);
        return s;
    }
    case Kind::ClickNoise: {
        Samples s = noise(rate, 0.01, random);
        decay(s, rate, 0.0001, accent ? 0.0025 : 0.0015);
        return s;
    }
    default:
        return additive(rate, accent ? 1100 : 800, 0.08, {{1, 1, 0.02}, {2.7, 0.5, 0.008}});
    }
}

struct Hit {
    int step; // sixteenth of the bar
    int voice; // 0 kick, 1 snare, 2 closed hat, 3 open hat, 4 clap
    double gain;
};

std::vector<Hit> pattern(Kind kind)
{
    std::vector<Hit> hits;
    auto every = [&](int first, int stride, int voice, double gain) {
        for (int s = first; s < 16; s += stride)
            hits.push_back({s, voice, gain});
    };
    switch (kind) {
    case Kind::LoopRock:
        hits.insert(hits.end(), {{0, 0, 1}, {8, 0, 1}, {4, 1, 0.9}, {12, 1, 0.9}});
        every(0, 2, 2, 0.35);
        break;
    case Kind::LoopHouse:
        every(0, 4, 0, 1);
        hits.insert(hits.end(), {{4, 4, 0.7}, {12, 4, 0.7}});
        every(2, 4, 3, 0.3);
        break;
    case Kind::LoopBreak:
        hits.insert(hits.end(), {{0, 0, 1}, {10, 0, 0.9}, {4, 1, 0.9}, {12, 1, 0.9}, {7, 1, 0.25}, {15, 1, 0.2}});
        every(0, 1, 2, 0.2);
        break;
    default: // funk
        hits.insert(hits.end(), {{0, 0, 1}, {3, 0, 0.7}, {10, 0, 0.8}, {4, 1, 0.9}, {12, 1, 0.9}, {14, 3, 0.3}});
        every(0, 2, 2, 0.3);
        break;
    }
    return hits;
}

Sound renderBeat(const Case& c, Random& random)
{
    const double beat = 60.0 / c.value;
    const int beats = int(std::lround(c.length * 4));
    const bool loop = c.kind >= Kind::LoopRock;
    // Loops are cut to their bars; click tracks start a moment in and end with some silence.
    const double lead = loop || c.seed % 2 == 0 ? 0 : uniform(random, 0.05, 0.8) * beat;
    const double tail = loop || c.seed % 2 == 0 ? 0 : uniform(random, 0.1, 1.0);
    Canvas canvas(c.rate, lead + beats * beat + tail);
    if (!loop) {
        for (int b = 0; b < beats; ++b)
            canvas.add(click(c.kind, c.rate, b % 4 == 0, random), lead + b * beat, uniform(random, 0.9, 1));
        return canvas.finish(c.channels, uniform(random, 0.4, 0.95));
    }
    std::array<Samples, 5> voices = {kick(c.rate, random), snare(c.rate, random), hat(c.rate, random, false),
                                     hat(c.rate, random, true), clap(c.rate, random)};
    const std::array<double, 5> pans = {0, -0.1, 0.35, 0.35, -0.2};
    for (int bar = 0; bar < beats / 4; ++bar)
        for (const Hit& h : pattern(c.kind))
            canvas.add(voices[std::size_t(h.voice)], (bar * 16 + h.step) * beat / 4,
                       h.gain * uniform(random, 0.85, 1.0), pans[std::size_t(h.voice)], true);
    return canvas.finish(c.channels, uniform(random, 0.4, 0.95));
}

void addChord(Canvas& canvas, int root, bool minor, double start, double seconds, Timbre timbre)
{
    const int third = minor ? 3 : 4;
    // The triad around middle C, the root an octave or two below.
    const int base = 60 + (root % 12 > 6 ? root % 12 - 12 : root % 12);
    for (int n : {base, base + third, base + 7})
        canvas.add(note(canvas.rate(), n, seconds, timbre), start, 0.3);
    canvas.add(note(canvas.rate(), base - 24, seconds, timbre), start, 0.35);
}

struct Step {
    int degree;
    bool minor;
};

Sound renderKey(const Case& c, Random& random)
{
    const int tonic = int(c.value) % 12;
    const bool minor = c.value >= 12;
    const Timbre timbre = std::array{Timbre::Pad, Timbre::Piano, Timbre::Pluck, Timbre::Saw}[c.seed % 4];
    const double beat = 60.0 / uniform(random, 80, 130);
    if (c.kind == Kind::Scale) {
        static const std::array<int, 8> major = {0, 2, 4, 5, 7, 9, 11, 12}, harmonicMinor = {0, 2, 3, 5, 7, 8, 11, 12};
        const auto& steps = minor ? harmonicMinor : major;
        std::vector<int> notes(steps.begin(), steps.end());
        notes.insert(notes.end(), steps.rbegin() + 1, steps.rend());
        Canvas canvas(c.rate, (double(notes.size()) + 3) * beat / 2 + 0.5);
        double t = 0;
        for (std::size_t i = 0; i < notes.size(); ++i) {
            const double length = (i == 0 || i + 1 == notes.size() ? 2.0 : 0.5) * beat;
            canvas.add(note(c.rate, 60 + tonic + notes[i], length * 0.95, timbre), t, 0.5);
            t += length;
        }
        return canvas.finish(c.channels, 0.8);
    }
    static const std::vector<std::vector<Step>> majors = {{{0, false}, {5, false}, {7, false}, {0, false}},
                                                          {{0, false}, {9, true}, {5, false}, {7, false}, {0, false}},
                                                          {{0, false}, {7, false}, {9, true}, {5, false}, {0, false}},
                                                          {{2, true}, {7, false}, {0, false}, {0, false}}};
    static const std::vector<std::vector<Step>> minors = {{{0, true}, {5, true}, {7, false}, {0, true}},
                                                          {{0, true}, {8, false}, {5, true}, {7, false}, {0, true}},
                                                          {{0, true}, {10, false}, {8, false}, {7, false}, {0, true}},
                                                          {{0, true}, {5, true}, {0, true}, {7, false}, {0, true}}};
    const auto& progression = (minor ? minors : majors)[(c.seed / 4) % 4];
    const double bar = 4 * beat;
    Canvas canvas(c.rate, double(progression.size()) * bar + 0.5);
    for (std::size_t i = 0; i < progression.size(); ++i)
        addChord(canvas, tonic + progression[i].degree, progression[i].minor, double(i) * bar, bar * 0.97, timbre);
    return canvas.finish(c.channels, 0.8);
}

Sound renderNoBeat(const Case& c, Random& random)
{
    Canvas canvas(c.rate, c.length);
    const int rate = c.rate;
    switch (c.kind) {
    case Kind::Hit: {
        Samples voices[] = {kick(rate, random), snare(rate, random), clap(rate, random), hat(rate, random, true)};
        canvas.add(voices[c.seed % 4], uniform(random, 0, 0.2), 1);
        break;
    }
    case Kind::Cymbal: canvas.add(cymbal(rate, c.length, random), 0.02, 1); break;
    case Kind::Explosion: canvas.add(explosion(rate, c.length, random), 0.05, 1); break;
    case Kind::Speech: canvas.add(speech(rate, c.length, random), 0, 1); break;
    case Kind::SirenWail:
    case Kind::SirenYelp: canvas.add(siren(rate, c.length, c.kind == Kind::SirenYelp, random), 0, 1); break;
    case Kind::Noise: {
        Samples s = noise(rate, c.length, random);
        if (c.seed % 3 > 0) // pink-ish or brown-ish
            onePole(s, rate, c.seed % 3 == 1 ? 1500 : 150);
        for (std::size_t i = 0; i < s.size(); ++i) // fading in and out
            s[i] *= std::min({1.0, double(i) / (0.3 * rate), double(s.size() - i) / (0.3 * rate)});
        canvas.add(s, 0, 1);
        break;
    }
    case Kind::Chord:
        addChord(canvas, int(random() % 12), random() % 2, 0.02, c.length - 0.05, c.seed % 2 ? Timbre::Pad : Timbre::Piano);
        break;
    case Kind::Chromatic: {
        std::vector<int> notes;
        for (int i = 0; i < 48; ++i)
            notes.push_back(i % 12);
        std::shuffle(notes.begin(), notes.end(), random);
        const double step = c.length / double(notes.size());
        for (std::size_t i = 0; i < notes.size(); ++i)
            canvas.add(note(rate, 54 + notes[i] + 12 * int(random() % 2), step * 0.9, Timbre::Pluck), double(i) * step, 0.5);
        break;
    }
    default: { // a short one-shot: a fill of a few hits, or a stab
        if (c.seed % 2) {
            const double step = uniform(random, 0.07, 0.15);
            for (double t = 0; t < c.length - 0.1; t += step)
                canvas.add(c.seed % 4 == 1 ? snare(rate, random) : kick(rate, random), t, uniform(random, 0.6, 1));
        } else {
            addChord(canvas, int(random() % 12), false, 0, c.length, Timbre::Piano);
        }
        break;
    }
    }
    return canvas.finish(c.channels, uniform(random, 0.3, 0.95));
}

const char* kindName(Kind k)
{
    static const char* names[] = {"ClickBeep", "ClickNoise", "ClickWood", "LoopRock",  "LoopHouse", "LoopBreak",
                                  "LoopFunk",  "Hit",        "Cymbal",    "Explosion", "Speech",    "SirenWail",
                                  "SirenYelp", "Noise",      "Chord",     "ShortShot", "Progression", "Scale",
                                  "Chromatic", "Sine",       "Saw",       "Square",    "Pluck"};
    return names[int(k)];
}

/// Rows of every kind against every value; the other columns go round their lists, so that each
/// kind meets every rate, channel count and length over the set.
std::vector<Case> cross(const std::vector<Kind>& kinds, const std::vector<double>& values, const std::vector<double>& lengths)
{
    std::vector<Case> cases;
    unsigned n = 0;
    for (Kind k : kinds)
        for (double v : values) {
            cases.push_back({k, v, n % 2 ? 48000 : 44100, int(1 + (n / 2) % 2), lengths[(n * 7 + 3) % lengths.size()], n});
            ++n;
        }
    return cases;
}

} // namespace

bool hasBeat(Kind kind)
{
    return kind <= Kind::LoopFunk;
}

std::string keyName(int key)
{
    static const char* tonics[] = {"C", "Db", "D", "Eb", "E", "F", "F#", "G", "Ab", "A", "Bb", "B"};
    return std::string(tonics[key % 12]) + (key >= 12 ? " minor" : " major");
}

Sound render(const Case& c)
{
    Random random(c.seed * 7919u + unsigned(c.kind) * 104729u + 1u);
    if (hasBeat(c.kind))
        return renderBeat(c, random);
    if (c.kind == Kind::Progression || c.kind == Kind::Scale)
        return renderKey(c, random);
    if (c.kind >= Kind::Sine) {
        const Timbre t = std::array{Timbre::Sine, Timbre::Saw, Timbre::Square, Timbre::Pluck}[int(c.kind) - int(Kind::Sine)];
        Canvas canvas(c.rate, c.length);
        canvas.add(note(c.rate, c.value, c.length, t), 0, 1);
        return canvas.finish(c.channels, uniform(random, 0.2, 0.9));
    }
    return renderNoBeat(c, random);
}

std::string describe(const Case& c)
{
    std::string s = kindName(c.kind);
    char buf[96];
    if (hasBeat(c.kind))
        std::snprintf(buf, sizeof buf, " %.2f BPM %g bars", c.value, c.length);
    else if (c.kind == Kind::Progression || c.kind == Kind::Scale)
        std::snprintf(buf, sizeof buf, " %s", keyName(int(c.value)).c_str());
    else if (c.kind >= Kind::Sine)
        std::snprintf(buf, sizeof buf, " note %g %g s", c.value, c.length);
    else
        std::snprintf(buf, sizeof buf, " %g s", c.length);
    s += buf;
    std::snprintf(buf, sizeof buf, " %d Hz %d ch #%u", c.rate, c.channels, c.seed);
    return s + buf;
}

std::vector<Case> beatCases(bool full)
{
    if (!full)
        return {{Kind::ClickBeep, 120, 44100, 1, 4, 0},  {Kind::ClickNoise, 174, 48000, 2, 2, 1},
                {Kind::ClickWood, 60, 44100, 2, 2, 3},   {Kind::LoopRock, 110, 48000, 1, 4, 2},
                {Kind::LoopHouse, 128, 44100, 2, 4, 4},  {Kind::LoopBreak, 87.5, 44100, 1, 2, 6},
                {Kind::LoopFunk, 96, 48000, 2, 2, 8},    {Kind::LoopRock, 160, 44100, 2, 8, 10},
                {Kind::LoopHouse, 124, 96000, 2, 4, 12}};
    std::vector<double> tempos;
    for (double t = 60; t <= 180; t += 5)
        tempos.push_back(t);
    for (double t : {63.5, 87.5, 93.75, 117.3, 124.0, 126.0, 133.3, 142.5, 174.0})
        tempos.push_back(t);
    return cross({Kind::ClickBeep, Kind::ClickNoise, Kind::ClickWood, Kind::LoopRock, Kind::LoopHouse, Kind::LoopBreak,
                  Kind::LoopFunk},
                 tempos, {2, 4, 8, 16, 32, 64, 4, 8});
}

std::vector<Case> unsteadyCases(bool full)
{
    if (!full)
        return {{Kind::Hit, 0, 44100, 1, 2.5, 0},     {Kind::Cymbal, 0, 48000, 2, 4, 1},
                {Kind::Speech, 0, 44100, 1, 5, 2},    {Kind::SirenYelp, 0, 44100, 2, 5, 3},
                {Kind::Noise, 0, 48000, 1, 4, 4},     {Kind::Chord, 0, 44100, 2, 4, 5},
                {Kind::ShortShot, 0, 44100, 2, 1.5, 7}, {Kind::Explosion, 0, 48000, 2, 4, 6}};
    std::vector<Case> cases =
        cross({Kind::Hit, Kind::Cymbal, Kind::Explosion, Kind::Speech, Kind::SirenWail, Kind::SirenYelp, Kind::Noise,
               Kind::Chord},
              std::vector<double>(16, 0), {2.5, 4, 6, 8, 3, 5, 10, 7});
    for (Case& c : cross({Kind::ShortShot}, std::vector<double>(24, 0), {0.3, 0.6, 1.0, 1.5, 1.9}))
        cases.push_back(c);
    return cases;
}

std::vector<Case> keyCases(bool full)
{
    if (!full) // eight keys, major and minor, progressions and scales
        return {{Kind::Progression, 0, 44100, 1, 0, 0},  {Kind::Scale, 3, 48000, 2, 0, 1},
                {Kind::Progression, 7, 44100, 2, 0, 6},  {Kind::Scale, 10, 48000, 1, 0, 3},
                {Kind::Progression, 12, 48000, 1, 0, 5}, {Kind::Scale, 16, 44100, 2, 0, 4},
                {Kind::Progression, 21, 44100, 2, 0, 7}, {Kind::Scale, 23, 48000, 1, 0, 2},
                {Kind::Progression, 14, 96000, 2, 0, 9}};
    std::vector<double> keys;
    for (int k = 0; k < 24; ++k)
        keys.push_back(k);
    std::vector<Case> cases = cross({Kind::Progression, Kind::Scale}, keys, {0});
    // Every key again with other instruments and progressions.
    for (Case c : cross({Kind::Progression}, keys, {0})) {
        c.seed += 101;
        cases.push_back(c);
    }
    return cases;
}

std::vector<Case> atonalCases(bool full)
{
    if (!full)
        return {{Kind::Chromatic, 0, 44100, 2, 8, 0}, {Kind::Noise, 0, 48000, 1, 4, 1}, {Kind::LoopRock, 120, 44100, 2, 4, 2}};
    std::vector<Case> cases = cross({Kind::Chromatic, Kind::Noise, Kind::Explosion, Kind::Cymbal, Kind::Speech},
                                    std::vector<double>(4, 0), {6, 8, 10, 5});
    for (Case& c : cross({Kind::LoopRock, Kind::LoopBreak, Kind::ClickNoise}, {90, 120, 140}, {4, 8}))
        cases.push_back(c);
    return cases;
}

std::vector<Case> pitchCases(bool full)
{
    std::vector<double> notes;
    if (full)
        for (double n = 28; n <= 108; n += 4)
            notes.push_back(n);
    else
        notes = {33, 69, 84, 96, 105, 108};
    std::vector<Case> cases = cross({Kind::Sine, Kind::Saw, Kind::Square, Kind::Pluck}, notes, {1.0, 1.5, 2.0});
    // Rates read through a converter or a decimator.
    for (Case c : cross({Kind::Sine, Kind::Saw}, full ? std::vector<double>{69.3, 95.7, 107.5, 100.2} : std::vector<double>{107.5},
                        {1.0})) {
        c.rate = c.seed % 2 ? 96000 : 22050;
        cases.push_back(c);
    }
    return cases;
}

Sound framesOf(int rate, int channels, double seconds, const std::function<double(int, double)>& f)
{
    Sound s;
    s.rate = rate;
    s.channels = channels;
    const auto frames = std::size_t(seconds * rate);
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            s.samples.push_back(float(f(c, double(i) / rate)));
    return s;
}

} // namespace labelled