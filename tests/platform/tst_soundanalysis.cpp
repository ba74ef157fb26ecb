// SPDX-License-Identifier: GPL-3.0-or-later
// Measures of generated sounds against their known values: loudness, peak, tempo, pitch.
#include "platform/sound/soundanalysis.h"
#include "support/tempdrive.h"

#include <gtest/gtest.h>
#include <cmath>
#include <functional>
#include <random>

namespace {

constexpr int kRate = 44100;

/// A 16-bit PCM wave of the given seconds whose channels' samples come from a function of time.
std::string pcmWave(int channels, double seconds, const std::function<double(int channel, int frame)>& sample)
{
    const int frames = int(seconds * kRate);
    const unsigned dataSize = unsigned(frames * channels * 2);
    std::string s = "RIFF";
    auto put = [&](unsigned v, int n) {
        for (int i = 0; i < n; ++i)
            s.push_back(char((v >> (8 * i)) & 0xFF));
    };
    put(36 + dataSize, 4);
    s += "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(unsigned(channels), 2);
    put(kRate, 4);
    put(unsigned(kRate * channels * 2), 4);
    put(unsigned(channels * 2), 2);
    put(16, 2);
    s += "data";
    put(dataSize, 4);
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            put(unsigned(short(std::lround(std::clamp(sample(c, f), -1.0, 1.0) * 32767))) & 0xFFFF, 2);
    return s;
}

double sine(double hz, int frame)
{
    return std::sin(2 * M_PI * hz * frame / kRate);
}

class SoundAnalysis : public ::testing::Test {
protected:
    platform::SoundMeasures measure(const std::string& bytes)
    {
        drive_.write("s.wav", bytes);
        const auto m = platform::analyseSound("C:\\s.wav");
        EXPECT_TRUE(m.has_value());
        return m.value_or(platform::SoundMeasures{});
    }
    testing_support::TempDrive drive_;
};

TEST_F(SoundAnalysis, LoudnessAndPeakOfFullScaleSines)
{
    const auto mono = measure(pcmWave(1, 3, [](int, int f) { return sine(1000, f); }));
    EXPECT_NEAR(mono.loudness, -3.01, 0.1);
    EXPECT_NEAR(mono.peak, 0.0, 0.1);
    const auto oneOfTwo = measure(pcmWave(2, 3, [](int c, int f) { return c == 0 ? sine(1000, f) : 0.0; }));
    EXPECT_NEAR(oneOfTwo.loudness, -3.01, 0.1);
    const auto both = measure(pcmWave(2, 3, [](int, int f) { return sine(1000, f); }));
    EXPECT_NEAR(both.loudness, 0.0, 0.1);
    EXPECT_NEAR(both.peak, 0.0, 0.1);
    const auto half = measure(pcmWave(2, 3, [](int, int f) { return 0.5 * sine(1000, f); }));
    EXPECT_NEAR(half.peak, -6.02, 0.1);
}

TEST_F(SoundAnalysis, TempoOfAClickTrackAndPitchOfATone)
{
    // Short 2 kHz clicks, 120 to the minute.
    const auto clicks = measure(pcmWave(1, 8, [](int, int f) {
        const int sinceBeat = f % (kRate / 2);
        return sinceBeat < 441 ? 0.8 * sine(2000, f) * (1.0 - sinceBeat / 441.0) : 0.0;
    }));
    EXPECT_NEAR(clicks.tempo, 120.0, 1.0);
    const auto a4 = measure(pcmWave(1, 2, [](int, int f) { return 0.5 * sine(440, f); }));
    EXPECT_NEAR(a4.pitch, 69.0, 0.05); // A4 within 5 cents
    EXPECT_TRUE(std::isnan(a4.tempo));
    const auto low = measure(pcmWave(2, 2, [](int, int f) { return 0.3 * sine(55, f) + 0.1 * sine(110, f); }));
    EXPECT_NEAR(low.pitch, 33.0, 0.05); // A1 with its octave above
}

TEST_F(SoundAnalysis, SilenceAndNoiseHaveNoTempoAndNoPitch)
{
    const auto silence = measure(pcmWave(2, 3, [](int, int) { return 0.0; }));
    EXPECT_TRUE(std::isinf(silence.loudness) && silence.loudness < 0);
    EXPECT_TRUE(std::isinf(silence.peak) && silence.peak < 0);
    EXPECT_TRUE(std::isnan(silence.tempo));
    EXPECT_TRUE(std::isnan(silence.pitch));
    std::mt19937 random(7);
    std::uniform_real_distribution<double> uniform(-0.5, 0.5);
    const auto noise = measure(pcmWave(2, 6, [&](int, int) { return uniform(random); }));
    EXPECT_TRUE(std::isnan(noise.tempo)) << noise.tempo;
    EXPECT_TRUE(std::isnan(noise.pitch)) << noise.pitch;
    EXPECT_GT(noise.loudness, -20.0);
    // Not a sound at all: nothing to measure, and no failure either.
    drive_.write("text.wav", std::string(2000, 'x'));
    EXPECT_FALSE(platform::analyseSound("C:\\text.wav").has_value());
    EXPECT_FALSE(platform::analyseSound("C:\\missing.wav").has_value());
}

} // namespace
