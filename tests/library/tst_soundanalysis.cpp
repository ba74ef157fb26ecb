// SPDX-License-Identifier: GPL-3.0-or-later
// Measures of generated sounds against their known values: loudness, peak, tempo, pitch.
#include "library/measuretexts.h"
#include "library/soundanalysis.h"
#include "library/wavepeaks.h"
#include "support/tempdrive.h"

#include <gtest/gtest.h>
#include <cmath>
#include <functional>
#include <random>

namespace {

constexpr int kRate = 44100;

/// A 16-bit PCM wave of the given seconds whose channels' samples come from a function of time.
std::string pcmWave(int channels, double seconds, const std::function<double(int channel, int frame)>& sample,
                    int rate = kRate)
{
    const int frames = int(seconds * rate);
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
    put(unsigned(rate), 4);
    put(unsigned(rate * channels * 2), 4);
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
    library::SoundAnalysis measure(const std::string& bytes)
    {
        drive_.write("s.wav", bytes);
        const auto m = library::analyseSound("C:\\s.wav");
        EXPECT_TRUE(m.has_value());
        return m.value_or(library::SoundAnalysis{});
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
    EXPECT_FALSE(low.key || a4.key || clicks.key);
    // Two bars each of A minor, D minor, E major and A minor triads, with their octaves below.
    const int chords[4][3] = {{57, 60, 64}, {62, 65, 69}, {64, 68, 71}, {57, 60, 64}};
    const auto progression = measure(pcmWave(2, 16, [&](int, int f) {
        double v = 0;
        for (int note : chords[std::min(3, f / (4 * kRate))])
            for (int octave : {0, -12})
                v += 0.08 * sine(440 * std::pow(2, (note + octave - 69) / 12.0), f);
        return v;
    }));
    ASSERT_TRUE(progression.key);
    EXPECT_EQ(progression.key->name(), "A minor");
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
    EXPECT_FALSE(library::analyseSound("C:\\text.wav").has_value());
    EXPECT_FALSE(library::analyseSound("C:\\missing.wav").has_value());
    // Too short for a gated loudness, yet not silent: the loudness of the whole sound, said to be so.
    const auto click = measure(pcmWave(1, 0.2, [](int, int f) { return 0.5 * sine(1000, f); }));
    EXPECT_NEAR(click.loudness, -9.03, 0.2);
    EXPECT_TRUE(click.wholeSoundLoudness);
    EXPECT_FALSE(silence.wholeSoundLoudness || noise.wholeSoundLoudness);
    EXPECT_NEAR(click.peak, -6.02, 0.1);
    // As the property window shows them: the whole-sound mark, and "None" for what a sound lacks.
    const auto texts = library::measureTexts(drive_.native("s.wav"));
    ASSERT_EQ(texts.size(), library::measureLabels().size());
    EXPECT_EQ(texts[0], "-9.0 LUFS (whole sound)");
    EXPECT_EQ(texts[2], "None");
    EXPECT_TRUE(library::measureTexts(drive_.native("text.wav")).empty());
}

TEST_F(SoundAnalysis, ARateOrChannelCountALibraryCannotTakeLeavesOnlyThatMeasureOut)
{
    // Loudness and the beat are measured through a copy at a usual rate, which the converter makes from
    // 188 Hz up; 16 and 17 Hz once overran a loudness meter's buffer. Every file gets measures, so the
    // cache remembers them.
    const struct {
        int rate, channels;
        bool loudness, tempo;
    } cases[] = {{1, 1, false, false},    {15, 1, false, false},   {16, 1, false, false},  {17, 32, false, false},
                 {20, 2, false, false},   {29, 1, false, false},   {255, 3, true, true},   {1000, 1, true, true},
                 {3000, 6, true, true},   {3363, 1, true, true},  {3364, 1, true, true},  {8000, 2, true, true},
                 {384000, 1, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " channels");
        // Clicks at 120 to the minute, for a few seconds or a few hundred frames.
        const int beat = std::max(1, c.rate / 2), click = std::max(1, c.rate / 100);
        const auto clicks = [&](int, int f) { return f % beat < click ? 0.5 : 0.0; };
        const auto m = measure(pcmWave(c.channels, std::max(3.0, 400.0 / c.rate), clicks, c.rate));
        EXPECT_TRUE(library::measuresAreValid(m));
        EXPECT_NEAR(m.peak, -6.02, 0.01);
        EXPECT_EQ(std::isnan(m.loudness), !c.loudness) << m.loudness;
        if (!c.tempo) {
            EXPECT_TRUE(std::isnan(m.tempo)) << m.tempo;
        }
    }
}

TEST_F(SoundAnalysis, SizesNearTheLimitOfANumberAreNeitherTrustedNorOverflowed)
{
    // RF64 keeps its sizes in a ds64 chunk; a file may put anything there. Measured and drawn, such a
    // file gives what its few real samples hold, or nothing.
    const auto [fmt, data] = [] {
        const std::string w = testing_support::makeWav(1, 44100, 16, 4410, 440);
        return std::make_pair(w.substr(12, 24), w.substr(44));
    }();
    auto le = [](std::uint64_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s.push_back(char(v >> (8 * i)));
        return s;
    };
    const std::uint64_t top = std::uint64_t(INT64_MAX);
    for (const std::uint64_t size : {top, top - 7, top - 4096, top + 1, ~std::uint64_t(0), std::uint64_t(1) << 62}) {
        SCOPED_TRACE(size);
        const std::string ds64 = "ds64" + le(28, 4) + le(size, 8) + le(size, 8) + le(size / 2, 8) + le(0, 4);
        drive_.write("big.wav", "RF64" + le(0xFFFFFFFF, 4) + "WAVE" + ds64 + fmt + "data" + le(0xFFFFFFFF, 4) + data +
                                    "LIST" + le(4, 4) + "INFO");
        if (const auto m = library::analyseSound("C:\\big.wav")) {
            EXPECT_TRUE(library::measuresAreValid(*m));
        }
        if (const auto scanner = library::WavePeakScanner::open("C:\\big.wav")) {
            const std::atomic<bool> cancel{false};
            EXPECT_TRUE(scanner->run(cancel));
            const auto& peaks = *scanner->peaks();
            for (int b = 0; b < peaks.bins(); ++b)
                EXPECT_LE(peaks.binStart(b), peaks.binStart(b + 1));
        }
    }
}

} // namespace
