// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the tests of the sound call share: images of tones, waiting for the channel to idle, and a
// fixture that records the test sound server's null sink.

#include "platform/sound/sound.h"
#include "support/soundmonitor.h"
#include "support/tempdrive.h"

#include <QThread>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <cstdint>
#include <memory>
#include <utility>
#include <sstream>
#include <string>

namespace sound_testing {

using namespace platform;
using namespace testing_support;

inline SoundImage imageOf(const std::string& bytes)
{
    std::shared_ptr<char[]> b(new char[bytes.size() + 1]);
    std::memcpy(b.get(), bytes.data(), bytes.size());
    return SoundImage{b, bytes.size()};
}

inline SoundImage tone(double seconds, double hz = 440, int rate = 44100)
{
    return imageOf(makeWav(1, rate, 16, int(seconds * rate), hz));
}

inline std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline bool waitIdle(int timeoutMs = 3000)
{
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        if (!soundIsPlaying())
            return true;
        QThread::msleep(10);
    }
    return !soundIsPlaying();
}

constexpr UINT kAsync = SND_ASYNC | SND_MEMORY | SND_NODEFAULT;

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!SoundMonitor::serverConfigured())
            GTEST_SKIP() << "no test sound server (source scripts/pulse.sh; start_pulse)";
        sndPlaySound(nullptr, 0);
        ASSERT_TRUE(mon.start()) << "the null sink's monitor cannot be recorded";
    }
    void TearDown() override
    {
        sndPlaySound(nullptr, 0);
        waitIdle();
    }

    /// Collects from the first sound after `from` for `ms`; returns where the sound began.
    long hear(long from, int ms)
    {
        long at = mon.waitForSound(from, 3000);
        if (at >= 0)
            mon.pump(ms);
        return at;
    }

    /// Runs `listenOnce` again while the machine stalled during it (the sound then ran dry whatever the
    /// player did), up to five tries, the last counting whatever happened. Returns the longest stall
    /// of the try that counts, in milliseconds.
    template <typename Try>
    double listenUntilSteady(Try&& listenOnce)
    {
        StallWatch stalls;
        for (int attempt = 0; attempt < 5; ++attempt) {
            stalls.reset();
            listenOnce();
            if (HasFatalFailure() || !stalls.stalled())
                break;
        }
        return stalls.longestMs();
    }

    SoundMonitor mon;
};

/// Little-endian bytes of a number, for hand-made wave files.
inline std::string le(std::uint64_t v, int bytes)
{
    std::string s;
    for (int i = 0; i < bytes; ++i)
        s.push_back(char((v >> (8 * i)) & 0xFF));
    return s;
}

/// The chunks of a canonical wave: its format chunk and its data chunk (header included).
inline std::pair<std::string, std::string> chunksOf(const std::string& wav)
{
    return {wav.substr(12, 24), wav.substr(36)};
}

inline std::string riffOf(const std::string& chunks)
{
    return "RIFF" + le(4 + chunks.size(), 4) + "WAVE" + chunks;
}

} // namespace sound_testing
