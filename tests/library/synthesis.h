// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The instruments of the labelled sounds: a stereo canvas, noise and filters, partials summed,
// notes of a few timbres, drums, and the sounds without a beat (speech, sirens, blasts, cymbals).

#include "labelledsounds.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace labelled::synth {

using Samples = std::vector<double>;
using Random = std::mt19937;

double uniform(Random& random, double low, double high);
double hzOfNote(double note);

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

Samples noise(int rate, double seconds, Random& random);
/// One-pole low-pass, or the rest of it (a gentle high-pass).
void onePole(Samples& s, int rate, double cutoff, bool highPass = false);
/// Two-pole resonance at `hz`, as a formant or a drum's body.
void resonate(Samples& s, int rate, double hz, double bandwidth);
void decay(Samples& s, int rate, double attack, double timeConstant);

/// A partial at `hz` times its ratio, with an amplitude and a time constant of decay (0: held).
struct Partial {
    double ratio, amplitude, timeConstant;
};
Samples additive(int rate, double hz, double seconds, const std::vector<Partial>& partials);

enum class Timbre { Sine, Saw, Square, Pluck, Pad, Piano };
Samples note(int rate, double midi, double seconds, Timbre timbre);

Samples kick(int rate, Random& random);
Samples snare(int rate, Random& random);
Samples hat(int rate, Random& random, bool open);
Samples clap(int rate, Random& random);

Samples speech(int rate, double seconds, Random& random);
/// A wailing siren, or a yelping one that sweeps up a few times a second.
Samples siren(int rate, double seconds, bool yelp, Random& random);
Samples explosion(int rate, double seconds, Random& random);
Samples cymbal(int rate, double seconds, Random& random);

} // namespace labelled::synth
