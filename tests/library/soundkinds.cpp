// SPDX-License-Identifier: GPL-3.0-or-later
#include "soundkinds.h"

#include "synthesis.h"

namespace labelled {

using namespace synth;

namespace {

Samples kickOf(int rate, Random& random)
{
    const double low = uniform(random, 40, 65), sweep = uniform(random, 80, 150), bend = uniform(random, 0.02, 0.05),
                 ring = uniform(random, 0.12, 0.3);
    Samples s(std::size_t(uniform(random, 0.3, 0.6) * rate));
    double phase = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        phase += 2 * M_PI * (low + sweep * std::exp(-t / bend)) / rate;
        s[i] = std::sin(phase) * std::exp(-t / ring);
    }
    Samples click = noise(rate, 0.004, random);
    for (std::size_t i = 0; i < click.size(); ++i)
        s[i] += 0.3 * click[i];
    return s;
}

Samples snareOf(int rate, Random& random)
{
    const double seconds = uniform(random, 0.25, 0.4), body = uniform(random, 160, 240);
    Samples s = noise(rate, seconds, random);
    onePole(s, rate, uniform(random, 900, 2000), true);
    decay(s, rate, 0.001, uniform(random, 0.05, 0.1));
    const Samples tone = additive(rate, body, seconds, {{1, uniform(random, 0.4, 0.8), 0.06}, {1.6, 0.3, 0.04}});
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] += tone[i];
    return s;
}

Samples hatOf(int rate, Random& random)
{
    Samples s = noise(rate, uniform(random, 0.08, 0.15), random);
    const double cutoff = uniform(random, 5000, 8000);
    onePole(s, rate, cutoff, true);
    onePole(s, rate, cutoff, true);
    decay(s, rate, 0.0005, uniform(random, 0.012, 0.035));
    return s;
}

Samples clapOf(int rate, Random& random)
{
    Samples s = noise(rate, 0.3, random);
    resonate(s, rate, uniform(random, 1000, 1600), uniform(random, 700, 1100));
    const double gap = uniform(random, 0.009, 0.013), tail = uniform(random, 0.04, 0.08);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate, burst = std::fmod(t, gap);
        s[i] *= 4 * (t < 3 * gap ? std::exp(-burst / 0.003) : std::exp(-(t - 3 * gap) / tail));
    }
    return s;
}

Samples sweepOf(int rate, Random& random)
{
    const double seconds = uniform(random, 0.8, 2.5), from = uniform(random, 80, 200), to = uniform(random, 3000, 8000);
    Samples s(std::size_t(seconds * rate));
    double phase = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        phase += 2 * M_PI * from * std::pow(to / from, t / seconds) / rate;
        s[i] = std::sin(phase) * std::min({1.0, t / 0.01, (seconds - t) / 0.01});
    }
    return s;
}

} // namespace

const char* soundKindName(SoundKind kind)
{
    static const char* names[] = {"kick",   "snare", "hat", "clap",  "sine",   "saw",
                                  "square", "pluck", "pad", "piano", "speech", "sweep"};
    return names[int(kind)];
}

Sound renderKind(SoundKind kind, int variant, int rate)
{
    Random random(unsigned(1000 * int(kind) + variant + 1));
    Samples voice;
    switch (kind) {
    case SoundKind::Kick:
        voice = kickOf(rate, random);
        break;
    case SoundKind::Snare:
        voice = snareOf(rate, random);
        break;
    case SoundKind::Hat:
        voice = hatOf(rate, random);
        break;
    case SoundKind::Clap:
        voice = clapOf(rate, random);
        break;
    case SoundKind::Speech:
        voice = speech(rate, uniform(random, 1.5, 3.5), random);
        break;
    case SoundKind::Sweep:
        voice = sweepOf(rate, random);
        break;
    default: {
        static const Timbre timbres[] = {Timbre::Sine,  Timbre::Saw, Timbre::Square,
                                         Timbre::Pluck, Timbre::Pad, Timbre::Piano};
        const double midi = uniform(random, 48, 72), seconds = uniform(random, 0.6, 1.6);
        voice = note(rate, midi, seconds, timbres[int(kind) - int(SoundKind::Sine)]);
        break;
    }
    }
    // A little silence before some, as sample packs have.
    Canvas canvas(rate, double(voice.size()) / rate + 0.05);
    canvas.add(voice, random() % 2 ? 0.0 : 0.02, 1);
    return canvas.finish(1, uniform(random, 0.3, 0.95));
}

} // namespace labelled
