// SPDX-License-Identifier: GPL-3.0-or-later
// Accuracy of the measures on the labelled sets of the tests' generator, and the tempo methods it
// was chosen among, on the same sounds:
//   tempo   share within 1 BPM of the true tempo (half and double are wrong) over click tracks and
//           drum loops (target 95%); share of sounds without a steady beat given one (target 2%)
//   key     share of chord progressions and scales read in their key exactly (target 90%), and
//           atonal sounds given a key (target 0)
//   pitch   the largest error in cents over sine, saw, square and plucked notes E1 to C8 (target 5)
//   loudness  the whole-sound loudness of short sounds, 8 and 6 channels and low rates against
//           their known values (targets 0.1, 0.1 and 0.2 LU)
// `bench_library_accuracy quick` runs the small sets of the tests; BENCH_SEED=n makes other sounds
// of the same rows, BENCH_VERBOSE=1 prints every row, BENCH_ONLY=text the rows that contain it.
#include "library/soundmeasurer.h"
#include "tests/library/labelledsounds.h"

#include <aubio/aubio.h>
#include <dsp/onsets/DetectionFunction.h>
#include <dsp/tempotracking/TempoTrackV2.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using labelled::Case;
using labelled::Sound;
using Method = std::function<double(const Sound&)>;

const bool verbose = std::getenv("BENCH_VERBOSE") != nullptr;
const char* const only = std::getenv("BENCH_ONLY");
const unsigned seedOffset = std::getenv("BENCH_SEED") ? unsigned(std::atoi(std::getenv("BENCH_SEED"))) : 0;
double soundSeconds = 0, measureSeconds = 0;

library::SoundMeasures measure(const Sound& s, std::uint32_t mask = 0)
{
    const auto t0 = std::chrono::steady_clock::now();
    const auto m = library::measureSound(s.samples.data(), s.frames(), {s.rate, s.channels, mask});
    measureSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    soundSeconds += double(s.frames()) / s.rate;
    return m;
}

/// The rows of a set, with the seed moved and the filter applied, each rendered once.
std::vector<std::pair<Case, Sound>> rows(std::vector<Case> cases)
{
    std::vector<std::pair<Case, Sound>> out;
    for (Case c : cases) {
        c.seed += seedOffset;
        if (!only || labelled::describe(c).find(only) != std::string::npos)
            out.push_back({c, labelled::render(c)});
    }
    return out;
}

void report(bool wrong, const Case& c, const std::string& result)
{
    if (wrong || verbose)
        std::printf("  %s %s -> %s\n", wrong ? "WRONG" : "ok   ", labelled::describe(c).c_str(), result.c_str());
}

std::vector<float> mono(const Sound& s)
{
    std::vector<float> m(s.frames());
    for (std::size_t f = 0; f < m.size(); ++f) {
        for (int c = 0; c < s.channels; ++c)
            m[f] += s.samples[f * std::size_t(s.channels) + std::size_t(c)];
        m[f] /= float(s.channels);
    }
    return m;
}

/// aubio's beat tracker as the program used it (every onset function reading, whole tempo from the
/// beats when their gaps keep within 6% of their median).
double aubioTempo(const Sound& s)
{
    const auto m = mono(s);
    constexpr unsigned kWindow = 1024, kHop = 512;
    aubio_tempo_t* tempo = new_aubio_tempo("default", kWindow, kHop, unsigned(s.rate));
    fvec_t* in = new_fvec(kHop);
    fvec_t* out = new_fvec(2);
    std::vector<double> beats;
    for (std::size_t i = 0; i + kHop <= m.size(); i += kHop) {
        std::copy(m.begin() + std::ptrdiff_t(i), m.begin() + std::ptrdiff_t(i + kHop), in->data);
        aubio_tempo_do(tempo, in, out);
        if (out->data[0] != 0)
            beats.push_back(aubio_tempo_get_last_s(tempo));
    }
    del_fvec(in);
    del_fvec(out);
    del_aubio_tempo(tempo);
    std::vector<double> gaps;
    for (std::size_t i = 1; i < beats.size(); ++i)
        gaps.push_back(beats[i] - beats[i - 1]);
    if (gaps.size() < 3)
        return std::nan("");
    std::vector<double> sorted = gaps;
    std::sort(sorted.begin(), sorted.end());
    const double typical = sorted[sorted.size() / 2];
    double sum = 0;
    std::size_t steady = 0;
    for (double g : gaps)
        if (std::abs(g - typical) <= 0.06 * typical) {
            sum += g;
            ++steady;
        }
    return double(steady) >= 0.8 * double(gaps.size()) ? 60.0 * double(steady) / sum : std::nan("");
}

/// The Queen Mary tracker alone: the median tempo it follows, for anything of 2 s or more.
double queenMaryTempo(const Sound& s)
{
    const auto m = mono(s);
    if (double(m.size()) < 2.0 * s.rate)
        return std::nan("");
    const auto step = unsigned(std::lround(s.rate * 0.01161));
    DFConfig config{step, 1024, DF_COMPLEXSD, 3, false, -1, -1};
    DetectionFunction onsets(config);
    std::vector<double> frame(1024), df;
    for (std::size_t i = 0; i + 1024 <= m.size(); i += step) {
        std::copy(m.begin() + std::ptrdiff_t(i), m.begin() + std::ptrdiff_t(i + 1024), frame.begin());
        df.push_back(onsets.processTimeDomain(frame.data()));
    }
    df.resize(std::max<std::size_t>(df.size(), 900), 0.0);
    TempoTrackV2 tracker{float(s.rate), std::size_t(step)};
    std::vector<double> periods(df.size()), tempi;
    tracker.calculateBeatPeriod(df, periods, tempi, 120, false);
    if (tempi.empty())
        return std::nan("");
    std::nth_element(tempi.begin(), tempi.begin() + std::ptrdiff_t(tempi.size() / 2), tempi.end());
    return tempi[tempi.size() / 2];
}

/// Both of them, when they agree within 2%.
double agreedTempo(const Sound& s)
{
    const double a = aubioTempo(s), q = queenMaryTempo(s);
    return std::abs(a - q) <= 0.02 * q ? q : std::nan("");
}

void tempo(bool full)
{
    const auto beats = rows(labelled::beatCases(full)), unsteady = rows(labelled::unsteadyCases(full));
    std::printf("tempo: %zu sounds with a steady beat, %zu without\n", beats.size(), unsteady.size());
    const auto ours = [](const Sound& s) { return measure(s).tempo; };
    struct Candidate {
        const char* name;
        Method method;
        bool chosen;
    };
    for (const auto& [name, method, chosen] : std::vector<Candidate>{
             {"aubio tracker, steady beats", aubioTempo, false},
             {"Queen Mary tracker alone", queenMaryTempo, false},
             {"aubio and Queen Mary agreeing", agreedTempo, false},
             {"chosen: Queen Mary, beat by accents, checked", ours, true}}) {
        int right = 0, given = 0;
        for (const auto& [c, s] : beats) {
            const double bpm = method(s);
            right += std::abs(bpm - c.value) <= 1.0;
            if (chosen)
                report(!(std::abs(bpm - c.value) <= 1.0), c, std::to_string(bpm));
        }
        for (const auto& [c, s] : unsteady) {
            const double bpm = method(s);
            given += !std::isnan(bpm);
            if (chosen)
                report(!std::isnan(bpm), c, std::to_string(bpm));
        }
        std::printf("  %-46s within 1 BPM %5.1f%% (target 95)  false tempo %5.1f%% (target 2)\n", name,
                    100.0 * right / double(std::max<std::size_t>(1, beats.size())),
                    100.0 * given / double(std::max<std::size_t>(1, unsteady.size())));
    }
}

void key(bool full)
{
    int right = 0, keyed = 0;
    const auto tonal = rows(labelled::keyCases(full)), atonal = rows(labelled::atonalCases(full));
    for (const auto& [c, s] : tonal) {
        const auto k = measure(s).key;
        const bool ok = k && k->tonic == int(c.value) % 12 && k->minor == (c.value >= 12);
        right += ok;
        report(!ok, c, k ? k->name() : "no key");
    }
    for (const auto& [c, s] : atonal) {
        const auto k = measure(s).key;
        keyed += k.has_value();
        report(k.has_value(), c, k ? k->name() : "no key");
    }
    std::printf("key: exact %.1f%% of %zu progressions and scales (target 90), %d of %zu atonal sounds with a key (target 0)\n",
                100.0 * right / double(std::max<std::size_t>(1, tonal.size())), tonal.size(), keyed, atonal.size());
}

void pitch(bool full)
{
    double worst = 0;
    int missing = 0;
    const auto notes = rows(labelled::pitchCases(full));
    for (const auto& [c, s] : notes) {
        const double note = measure(s).pitch;
        const double cents = 100 * (note - c.value);
        missing += std::isnan(note);
        worst = std::isnan(note) ? worst : std::max(worst, std::abs(cents));
        report(!(std::abs(cents) <= 5), c, std::to_string(cents) + " cents");
    }
    std::printf("pitch: largest error %.2f cents over %zu notes E1-C8 (target 5), %d without pitch\n", worst,
                notes.size(), missing);
}

void loudness()
{
    // A 997 Hz sine at full scale in one front channel reads -3.01 LUFS; here at half scale.
    const double halfSine = -3.01 - 6.02;
    const auto sine = [](double t) { return 0.5 * std::sin(2 * M_PI * 997 * t); };
    double shortWorst = 0;
    for (double seconds : {0.05, 0.1, 0.2, 0.39}) {
        const auto m = measure(labelled::framesOf(48000, 2, seconds, [&](int c, double t) { return c ? 0.0 : sine(t); }));
        shortWorst = std::max(shortWorst, m.wholeSoundLoudness ? std::abs(m.loudness - halfSine) : 99.0);
    }
    std::printf("loudness: sounds of 0.05-0.39 s, worst delta %.3f LU (target 0.1)\n", shortWorst);
    // Eight channels without a mask are 7.1: no weight for the fourth, 1.41 for the last four.
    const auto eight = measure(labelled::framesOf(48000, 8, 3, [&](int, double t) { return sine(t); }));
    const double eightExpected = halfSine + 10 * std::log10(3 + 4 * 1.41);
    // A 5.1 mask (side surrounds) on six channels: the same weights as without.
    const auto six = measure(labelled::framesOf(48000, 6, 3, [&](int, double t) { return sine(t); }), 0x60F);
    const double sixExpected = halfSine + 10 * std::log10(3 + 2 * 1.41);
    std::printf("loudness: 8 channels delta %.3f LU, 6 channels with a mask delta %.3f LU (target 0.1)\n",
                eight.loudness - eightExpected, six.loudness - sixExpected);
    // The same tones and noise below 3.5 kHz at low rates and at 48 kHz.
    std::mt19937 random(5);
    std::vector<double> tones;
    for (int i = 0; i < 12; ++i)
        tones.push_back(std::uniform_real_distribution<double>(60, 3500)(random));
    const auto mix = [&](int, double t) {
        double v = 0;
        for (double hz : tones)
            v += 0.05 * std::sin(2 * M_PI * hz * t + hz);
        return v;
    };
    const double reference = measure(labelled::framesOf(48000, 2, 5, mix)).loudness;
    double lowWorst = 0;
    for (int rate : {8000, 11025, 16000, 22050, 32000, 96000, 192000})
        lowWorst = std::max(lowWorst, std::abs(measure(labelled::framesOf(rate, 2, 5, mix)).loudness - reference));
    std::printf("loudness: 8 to 192 kHz against 48 kHz, worst delta %.3f LU (target 0.2)\n", lowWorst);
}

} // namespace

int main(int argc, char** argv)
{
    const bool full = !(argc > 1 && std::strcmp(argv[1], "quick") == 0);
    const auto t0 = std::chrono::steady_clock::now();
    tempo(full);
    key(full);
    pitch(full);
    loudness();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("measured %.0f s of sound in %.1f s (%.0fx real time, all measures); the run took %.0f s\n",
                soundSeconds, measureSeconds, soundSeconds / std::max(measureSeconds, 1e-9), wall);
}
