// SPDX-License-Identifier: GPL-3.0-or-later
#include "labelledsounds.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

namespace labelled {

namespace {

constexpr double kTwoPi = 2 * M_PI;
using Samples = std::vector<double>;
using Random = std::mt19937;

double uniform(Random& random, double low, double high)
{
    return std::uniform_real_distribution<double>(low, high)(random);
}

double hzOfNote(double note)
{
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

/// A stereo sound being put together; voices are added at a time with a gain and a place.
class Canvas {
public:
    Canvas(int rate, double seconds) : rate_(rate), left_(std::size_t(std::max(1.0, seconds * rate))), right_(left_) {}
    int rate() const { return rate_; }
    double seconds() const { return double(left_.size()) / rate_; }

    /// Adds `voice` from `start` seconds; with `wrap`, what runs past the end goes on at the start,
    /// as in a loop cut to its bars.
    void add(const Samples& voice, double start, double gain, double pan = 0, bool wrap = false)
    {
        const auto first = std::size_t(std::llround(std::max(0.0, start) * rate_));
        const double l = gain * std::min(1.0, 1 - pan), r = gain * std::min(1.0, 1 + pan);
        for (std::size_t i = 0; i < voice.size(); ++i) {
            std::size_t at = first + i;
            if (at >= left_.size()) {
                if (!wrap)
                    break;
                at %= left_.size();
            }
            left_[at] += l * voice[i];
            right_[at] += r * voice[i];
        }
    }

    /// The sound with its highest sample at `peak`; one channel holds the mix of both.
    Sound finish(int channels, double peak) const
    {
        Sound s;
        s.rate = rate_;
        s.channels = channels;
        double highest = 0;
        for (std::size_t i = 0; i < left_.size(); ++i)
            highest = std::max({highest, std::abs(left_[i]), std::abs(right_[i]),
                                std::abs(left_[i] + right_[i]) / 2});
        const double gain = highest > 0 ? peak / highest : 0;
        s.samples.reserve(left_.size() * std::size_t(channels));
        for (std::size_t i = 0; i < left_.size(); ++i) {
            if (channels == 1) {
                s.samples.push_back(float(gain * (left_[i] + right_[i]) / 2));
                continue;
            }
            for (int c = 0; c < channels; ++c)
                s.samples.push_back(float(gain * (c % 2 ? right_[i] : left_[i])));
        }
        return s;
    }

private:
    int rate_;
    Samples left_, right_;
};

Samples noise(int rate, double seconds, Random& random)
{
    Samples s(std::size_t(seconds * rate));
    std::uniform_real_distribution<double> d(-1, 1);
    for (double& v : s)
        v = d(random);
    return s;
}

/// One-pole low-pass, or the rest of it (a gentle high-pass).
void onePole(Samples& s, int rate, double cutoff, bool highPass = false)
{
    const double a = std::exp(-kTwoPi * cutoff / rate);
    double y = 0;
    for (double& v : s) {
        y = (1 - a) * v + a * y;
        v = highPass ? v - y : y;
    }
}

/// Two-pole resonance at `hz`, as a formant or a drum's body.
void resonate(Samples& s, int rate, double hz, double bandwidth)
{
    const double r = std::exp(-M_PI * bandwidth / rate), c = 2 * r * std::cos(kTwoPi * hz / rate);
    double y1 = 0, y2 = 0;
    for (double& v : s) {
        const double y = (1 - r) * v + c * y1 - r * r * y2;
        y2 = y1;
        y1 = y;
        v = y;
    }
}

void decay(Samples& s, int rate, double attack, double timeConstant)
{
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        s[i] *= std::min(1.0, t / std::max(attack, 1e-6)) * std::exp(-t / timeConstant);
    }
}

/// Partials at `hz` times their ratio, each with an amplitude and a time constant of decay (0: held),
/// summed by turning phasors (far cheaper than a sine per sample and partial).
struct Partial {
    double ratio, amplitude, timeConstant;
};
Samples additive(int rate, double hz, double seconds, const std::vector<Partial>& partials)
{
    Samples s(std::size_t(seconds * rate));
    for (const Partial& p : partials) {
        const double f = hz * p.ratio;
        if (f >= 0.45 * rate || p.amplitude == 0)
            continue;
        const double step = kTwoPi * f / rate, shrink = p.timeConstant > 0 ? std::exp(-1 / (p.timeConstant * rate)) : 1;
        double re = 1, im = 0, amp = p.amplitude;
        const double c = std::cos(step), sn = std::sin(step);
        for (std::size_t i = 0; i < s.size(); ++i) {
            s[i] += amp * im;
            const double nre = re * c - im * sn;
            im = re * sn + im * c;
            re = nre;
            amp *= shrink;
            if ((i & 1023) == 0) { // keep the phasor on the unit circle
                const double n = std::hypot(re, im);
                re /= n;
                im /= n;
            }
        }
    }
    return s;
}

enum class Timbre { Sine, Saw, Square, Pluck, Pad, Piano };

Samples note(int rate, double midi, double seconds, Timbre timbre)
{
    std::vector<Partial> partials;
    for (int h = 1; h <= 200; ++h) {
        const double a = 1.0 / h;
        switch (timbre) {
        case Timbre::Sine: partials.push_back({double(h), h == 1 ? 1.0 : 0.0, 0}); break;
        case Timbre::Saw: partials.push_back({double(h), a, 0}); break;
        case Timbre::Square: partials.push_back({double(h), h % 2 ? a : 0.0, 0}); break;
        case Timbre::Pluck: partials.push_back({double(h), a, 1.5 / std::pow(h, 0.8)}); break;
        case Timbre::Pad: partials.push_back({double(h), h <= 8 ? std::pow(a, 1.5) : 0.0, 0}); break;
        case Timbre::Piano: partials.push_back({double(h), h <= 6 ? a * a : 0.0, 1.2 / h}); break;
        }
    }
    Samples s = additive(rate, hzOfNote(midi), seconds, partials);
    const double attack = timbre == Timbre::Pad ? 0.25 : 0.004, release = std::min(0.05, seconds / 4);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate, left = seconds - t;
        s[i] *= std::min({1.0, t / attack, left / release});
    }
    return s;
}

// Drum voices.
Samples kick(int rate, Random& random)
{
    Samples s(std::size_t(0.45 * rate));
    double phase = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        phase += kTwoPi * (48 + 110 * std::exp(-t / 0.03)) / rate;
        s[i] = std::sin(phase) * std::exp(-t / 0.18);
    }
    Samples click = noise(rate, 0.004, random);
    for (std::size_t i = 0; i < click.size(); ++i)
        s[i] += 0.3 * click[i];
    return s;
}

Samples snare(int rate, Random& random)
{
    Samples s = noise(rate, 0.3, random);
    onePole(s, rate, 1200, true);
    decay(s, rate, 0.001, 0.07);
    Samples body = additive(rate, 185, 0.3, {{1, 0.6, 0.06}, {1.6, 0.3, 0.04}});
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] += body[i];
    return s;
}

Samples hat(int rate, Random& random, bool open)
{
    Samples s = noise(rate, open ? 0.5 : 0.1, random);
    onePole(s, rate, 6000, true);
    onePole(s, rate, 6000, true);
    decay(s, rate, 0.0005, open ? 0.15 : 0.018);
    return s;
}

Samples clap(int rate, Random& random)
{
    Samples s = noise(rate, 0.3, random);
    resonate(s, rate, 1300, 900);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate, burst = std::fmod(t, 0.011);
        s[i] *= 4 * (t < 0.033 ? std::exp(-burst / 0.003) : std::exp(-(t - 0.033) / 0.06));
    }
    return s;
}

// Click sounds of a metronome; the first beat of a bar is higher.
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

Samples speech(int rate, double seconds, Random& random)
{
    Samples out(std::size_t(seconds * rate));
    double t = uniform(random, 0.05, 0.3);
    while (t < seconds - 0.2) {
        const double length = uniform(random, 0.08, 0.35), pitch = uniform(random, 95, 210);
        // A consonant of noise now and then, then a voiced vowel through two formants.
        Samples syllable = noise(rate, length, random);
        const std::size_t consonant = random() % 2 ? std::size_t(uniform(random, 0.02, 0.07) * rate) : 0;
        double phase = 0;
        const double glide = uniform(random, -0.3, 0.3);
        for (std::size_t i = consonant; i < syllable.size(); ++i) {
            phase += pitch * (1 + glide * double(i) / double(syllable.size())) / rate;
            syllable[i] = 2 * (phase - std::floor(phase)) - 1;
        }
        Samples voiced = syllable;
        resonate(syllable, rate, uniform(random, 300, 800), 90);
        resonate(voiced, rate, uniform(random, 900, 2300), 120);
        for (std::size_t i = 0; i < syllable.size() && std::size_t(t * rate) + i < out.size(); ++i) {
            const double u = double(i) / double(syllable.size());
            out[std::size_t(t * rate) + i] += (syllable[i] + 0.5 * voiced[i]) * std::sin(M_PI * u);
        }
        t += length + (random() % 4 == 0 ? uniform(random, 0.15, 0.6) : uniform(random, 0.01, 0.08));
    }
    return out;
}

Samples siren(int rate, double seconds, bool yelp, Random& random)
{
    Samples s(std::size_t(seconds * rate));
    const double sweep = yelp ? uniform(random, 2.8, 4.5) : uniform(random, 0.15, 0.5);
    const double low = uniform(random, 550, 750), high = low * uniform(random, 1.8, 2.2);
    double phase = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate, cycle = std::fmod(t * sweep, 1.0);
        const double shape = yelp ? cycle : 0.5 - 0.5 * std::cos(kTwoPi * cycle);
        phase += (low + (high - low) * shape) / rate;
        const double p = kTwoPi * phase;
        s[i] = std::sin(p) + 0.3 * std::sin(3 * p) + 0.15 * std::sin(5 * p);
    }
    return s;
}

Samples explosion(int rate, double seconds, Random& random)
{
    Samples s = noise(rate, seconds, random);
    onePole(s, rate, uniform(random, 250, 700));
    decay(s, rate, 0.004, uniform(random, 0.6, 1.6));
    for (double& v : s)
        v *= 4;
    // Crackles thinning out as the blast dies away.
    for (double t = 0.05; t < seconds; t += uniform(random, 0.01, 0.12) * (1 + 3 * t)) {
        Samples crack = noise(rate, 0.01, random);
        decay(crack, rate, 0.0002, 0.002);
        const auto at = std::size_t(t * rate);
        for (std::size_t i = 0; i < crack.size() && at + i < s.size(); ++i)
            s[at + i] += 0.4 * std::exp(-t) * crack[i];
    }
    return s;
}

Samples cymbal(int rate, double seconds, Random& random)
{
    std::vector<Partial> partials;
    for (int i = 0; i < 60; ++i)
        partials.push_back({std::exp(uniform(random, std::log(1.0), std::log(30.0))), uniform(random, 0.2, 1),
                            uniform(random, 0.6, 3.0)});
    Samples s = additive(rate, uniform(random, 300, 450), seconds, partials);
    Samples wash = noise(rate, seconds, random);
    onePole(wash, rate, 5000, true);
    decay(wash, rate, 0.001, 1.2);
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = 0.1 * s[i] + 2 * wash[i];
    return s;
}

/// A chord of three notes and a bass note under it.
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
                {Kind::LoopFunk, 96, 48000, 2, 2, 8},    {Kind::LoopRock, 160, 44100, 2, 8, 10}};
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
                {Kind::Progression, 21, 44100, 2, 0, 7}, {Kind::Scale, 23, 48000, 1, 0, 2}};
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
    if (full)
        for (Case c : cross({Kind::Sine, Kind::Saw}, {69.3, 95.7, 107.5, 100.2}, {1.0})) {
            c.rate = c.seed % 2 ? 96000 : 22050;
            cases.push_back(c);
        }
    return cases;
}

} // namespace labelled
