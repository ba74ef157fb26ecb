// SPDX-License-Identifier: GPL-3.0-or-later
// The measures of generated sounds against their known answers: the small labelled sets (the
// benchmark runs the large ones), loudness by channel layout, rate and length, and odd input.
#include "labelledsounds.h"
#include "library/loudnessmeter.h"
#include "library/soundmeasurer.h"

#include <gtest/gtest.h>
#include <cmath>
#include <functional>
#include <limits>

namespace {

using labelled::Case;
using library::SoundMeasures;

SoundMeasures measure(const labelled::Sound& s, std::uint32_t mask = 0)
{
    return library::measureSound(s.samples.data(), s.frames(), {s.rate, s.channels, mask});
}

double halfSine(double hz, double t)
{
    return 0.5 * std::sin(2 * M_PI * hz * t);
}

// A 997 Hz sine at full scale in one front channel reads -3.01 LUFS.
constexpr double kHalfSineLufs = -3.01 - 6.02;

TEST(SoundMeasurer, LabelledSetsMeetTheirFigures)
{
    for (const Case& c : labelled::beatCases(false))
        EXPECT_NEAR(measure(labelled::render(c)).tempo, c.value, 1.0) << labelled::describe(c);
    for (const Case& c : labelled::unsteadyCases(false))
        EXPECT_TRUE(std::isnan(measure(labelled::render(c)).tempo)) << labelled::describe(c);
    int keysWrong = 0;
    for (const Case& c : labelled::keyCases(false)) {
        const auto key = measure(labelled::render(c)).key;
        const bool right = key && key->tonic == int(c.value) % 12 && key->minor == (c.value >= 12);
        keysWrong += !right;
        EXPECT_TRUE(right) << labelled::describe(c) << " -> " << (key ? key->name() : "none");
    }
    EXPECT_LE(keysWrong, 0);
    for (const Case& c : labelled::atonalCases(false))
        EXPECT_FALSE(measure(labelled::render(c)).key.has_value()) << labelled::describe(c);
    for (const Case& c : labelled::pitchCases(false))
        EXPECT_NEAR(measure(labelled::render(c)).pitch, c.value, 0.05) << labelled::describe(c);
}

TEST(SoundMeasurer, LoudnessByLengthLayoutAndRate)
{
    const auto front = [](int c, double t) { return c == 0 ? halfSine(997, t) : 0.0; };
    const auto every = [](int, double t) { return halfSine(997, t); };
    struct Row {
        const char* what;
        int rate, channels;
        std::uint32_t mask;
        double seconds;
        std::function<double(int, double)> signal;
        double lufs;
        bool wholeSound;
    } rows[] = {
        {"gated", 48000, 2, 0, 3, front, kHalfSineLufs, false},
        {"a hit of 50 ms", 48000, 2, 0, 0.05, front, kHalfSineLufs, true},
        {"just under a block", 44100, 1, 0, 0.39, front, kHalfSineLufs, true},
        // Eight channels without a mask are 7.1, six with a 5.1 mask weigh the side surrounds.
        {"7.1", 48000, 8, 0, 3, every, kHalfSineLufs + 10 * std::log10(3 + 4 * 1.41), false},
        {"5.1 mask", 48000, 6, 0x60F, 3, every, kHalfSineLufs + 10 * std::log10(3 + 2 * 1.41), false},
        {"FL FR LFE BC mask", 48000, 4, 0x10B, 3, every, kHalfSineLufs + 10 * std::log10(2 + 1.41), false},
        {"mask naming too few", 48000, 3, 0x3, 3, every, kHalfSineLufs + 10 * std::log10(3), false},
        {"11.025 kHz", 11025, 1, 0, 3, [](int, double t) { return halfSine(4000, t); }, 0, false},
        {"22.05 kHz, short", 22050, 1, 0, 0.2, [](int, double t) { return halfSine(9000, t); }, 0, true},
    };
    for (const Row& r : rows) {
        const auto m = measure(labelled::framesOf(r.rate, r.channels, r.seconds, r.signal), r.mask);
        double expected = r.lufs;
        if (r.rate != 48000) // the same sound at 48 kHz
            expected = measure(labelled::framesOf(48000, r.channels, r.seconds, r.signal)).loudness;
        EXPECT_NEAR(m.loudness, expected, r.rate != 48000 ? 0.2 : 0.1) << r.what;
        EXPECT_EQ(m.wholeSoundLoudness, r.wholeSound) << r.what;
        EXPECT_NEAR(m.peak, -6.02, 0.05) << r.what;
    }
}

TEST(SoundMeasurer, OddInputEndsQuietly)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Row {
        const char* what;
        library::SoundFormat format;
        std::vector<float> samples;
        bool silent, measured;
    } rows[] = {
        {"digital silence", {48000, 2, 0}, std::vector<float>(4800, 0.f), true, true},
        {"no frames", {44100, 1, 0}, {}, true, true},
        {"one frame", {44100, 1, 0}, {0.5f}, false, true},
        {"not numbers", {44100, 1, 0}, {nan, inf, -inf, 0.25f, nan}, false, true},
        {"absurdly loud", {44100, 2, 0}, std::vector<float>(2 * 200000, 3e38f), false, true},
        {"no channels", {44100, 0, 0}, {0.5f}, false, false},
        {"no rate", {0, 1, 0}, {0.5f}, false, false},
        {"1 Hz", {1, 1, 0}, std::vector<float>(10, 0.5f), false, true},
        {"100 Hz", {100, 1, 0}, std::vector<float>(1000, 0.5f), false, true},
        {"8 kHz", {8000, 1, 0}, std::vector<float>(800, 0.5f), false, true},
        {"4 MHz", {4000000, 1, 0}, std::vector<float>(40000, 0.5f), false, true},
        {"65 channels", {48000, 65, 0}, std::vector<float>(65 * 4800, 0.5f), false, true},
    };
    for (const Row& r : rows) {
        const auto frames = r.format.channels > 0 ? r.samples.size() / std::size_t(r.format.channels) : 0;
        const auto m = library::measureSound(r.samples.data(), frames, r.format);
        if (!r.measured) {
            EXPECT_TRUE(std::isnan(m.peak) && std::isnan(m.loudness)) << r.what;
            continue;
        }
        EXPECT_EQ(std::isinf(m.peak) && m.peak < 0, r.silent) << r.what;
        if (r.silent)
            EXPECT_TRUE(std::isinf(m.loudness) && m.loudness < 0) << r.what;
        else
            EXPECT_FALSE(std::isinf(m.loudness)) << r.what << " " << m.loudness;
        EXPECT_TRUE(std::isnan(m.tempo) && !m.key) << r.what;
    }
}

TEST(SoundMeasurer, LoudnessWeightsFollowTheMaskElseTheCount)
{
    using V = std::vector<double>;
    EXPECT_EQ(library::loudnessWeights(1, 0), V({1}));
    EXPECT_EQ(library::loudnessWeights(6, 0), V({1, 1, 1, 0, 1.41, 1.41}));
    EXPECT_EQ(library::loudnessWeights(8, 0), V({1, 1, 1, 0, 1.41, 1.41, 1.41, 1.41}));
    EXPECT_EQ(library::loudnessWeights(10, 0), V({1, 1, 1, 0, 1.41, 1.41, 1.41, 1.41, 1, 1}));
    EXPECT_EQ(library::loudnessWeights(4, 0x33), V({1, 1, 1.41, 1.41})); // quad
    EXPECT_EQ(library::loudnessWeights(2, 0x33), V({1, 1}));             // mask of four: ignored
}

} // namespace
