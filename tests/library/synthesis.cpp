// SPDX-License-Identifier: GPL-3.0-or-later
#include "synthesis.h"

#include <algorithm>
#include <cmath>

namespace labelled::synth {

namespace {

constexpr double kTwoPi = 2 * M_PI;

} // namespace

double uniform(Random& random, double low, double high)
{
    return std::uniform_real_distribution<double>(low, high)(random);
}

double hzOfNote(double note)
{
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

Samples noise(int rate, double seconds, Random& random)
{
    Samples s(std::size_t(seconds * rate));
    std::uniform_real_distribution<double> d(-1, 1);
    for (double& v : s)
        v = d(random);
    return s;
}

void onePole(Samples& s, int rate, double cutoff, bool highPass)
{
    const double a = std::exp(-kTwoPi * cutoff / rate);
    double y = 0;
    for (double& v : s) {
        y = (1 - a) * v + a * y;
        v = highPass ? v - y : y;
    }
}

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

// Partials summed by turning phasors: far cheaper than a sine per sample and partial.
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
} // namespace labelled::synth
