// SPDX-License-Identifier: GPL-3.0-or-later
// What the decoder tells of a wave besides its samples: the speakers of its channels.
#include "platform/sound/sounddecoder.h"
#include "support/tempdrive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

/// A wave of a tenth of a second of 16-bit silence: plain PCM (`extensible` false) or
/// WAVE_FORMAT_EXTENSIBLE with the channel mask.
std::string wave(int channels, bool extensible, std::uint32_t mask)
{
    const unsigned rate = 48000, frames = 4800, dataSize = frames * unsigned(channels) * 2;
    const unsigned fmtSize = extensible ? 40 : 16;
    std::string s = "RIFF";
    auto put = [&](unsigned v, int n) {
        for (int i = 0; i < n; ++i)
            s.push_back(char((v >> (8 * i)) & 0xFF));
    };
    put(4 + 8 + fmtSize + 8 + dataSize, 4);
    s += "WAVEfmt ";
    put(fmtSize, 4);
    put(extensible ? 0xFFFE : 1, 2);
    put(unsigned(channels), 2);
    put(rate, 4);
    put(rate * unsigned(channels) * 2, 4);
    put(unsigned(channels) * 2, 2);
    put(16, 2);
    if (extensible) {
        put(22, 2);
        put(16, 2);
        put(mask, 4);
        // The PCM sub-format.
        s += std::string("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71", 16);
    }
    s += "data";
    put(dataSize, 4);
    s += std::string(dataSize, '\0');
    return s;
}

TEST(SoundDecoder, ChannelMaskOfTheSpeakersTheFileNames)
{
    struct Row {
        int channels;
        bool extensible;
        std::uint32_t written, read;
    } rows[] = {
        {6, true, 0x60F, 0x60F}, // 5.1 with side surrounds
        {8, true, 0x63F, 0x63F}, // 7.1
        {2, true, 0x3, 0x3},
        {4, true, 0x0, 0x0},     // extensible, but no speakers named
        {2, false, 0x0, 0x0},    // plain PCM names none
    };
    testing_support::TempDrive drive;
    for (const Row& r : rows) {
        drive.write("w.wav", wave(r.channels, r.extensible, r.written));
        const auto decoder = platform::sound_detail::Decoder::open(platform::sound_detail::fileSource("C:\\w.wav"));
        ASSERT_TRUE(decoder) << r.channels;
        EXPECT_EQ(decoder->channels(), r.channels);
        EXPECT_EQ(decoder->channelMask(), r.read) << std::hex << r.written;
    }
}

TEST(SoundDecoder, ALoopedStretchFollowsTheFirstPassSampleForSample)
{
    // Samples that never repeat: each read frame tells where in the sound it came from.
    const int frames = 20000;
    std::string bytes = wave(1, false, 0).substr(0, 36) + "data" + std::string(4, '\0');
    for (int i = 0; i < frames; ++i) {
        const int v = i % 30000 - 15000;
        bytes.push_back(char(v & 0xFF));
        bytes.push_back(char((v >> 8) & 0xFF));
    }
    const std::uint32_t dataSize = 2 * frames, riffSize = std::uint32_t(bytes.size() - 8);
    std::memcpy(&bytes[40], &dataSize, 4);
    std::memcpy(&bytes[4], &riffSize, 4);
    testing_support::TempDrive drive;
    drive.write("l.wav", bytes);
    struct Row {
        platform::SoundLoop loop;
        double startSeconds;
        std::size_t chunk;
        std::vector<std::pair<int, int>> stretches; ///< [from, to) of the sound, in the order heard
    } rows[] = {
        {{8000, 13000}, 0, 1000, {{0, 13000}, {8000, 13000}, {8000, 13000}}},
        {{8000, 13000}, 0, 4096, {{0, 13000}, {8000, 13000}, {8000, 13000}}},
        {{8000, 13000}, 0, 1, {{0, 13000}, {8000, 9000}}},
        {{0, frames}, 0, 3000, {{0, frames}, {0, frames}}},
        // Started inside the loop: on to its end, then round.
        {{8000, 13000}, 10000.0 / 48000, 700, {{10000, 13000}, {8000, 13000}}},
        // Started past it: to the sound's end, then the loop.
        {{8000, 13000}, 15000.0 / 48000, 999, {{15000, frames}, {8000, 13000}, {8000, 13000}}},
        // A loop outside the sound repeats the whole sound.
        {{8000, frames + 1}, 0, 2048, {{0, frames}, {0, 100}}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.loop.start) + "-" + std::to_string(r.loop.end) + " from " +
                     std::to_string(r.startSeconds) + " by " + std::to_string(r.chunk));
        const auto decoder = platform::sound_detail::Decoder::open(platform::sound_detail::fileSource("C:\\l.wav"));
        ASSERT_TRUE(decoder);
        decoder->setLoop(r.loop);
        ASSERT_TRUE(decoder->seekSeconds(r.startSeconds));
        std::vector<int> expected;
        for (const auto& [from, to] : r.stretches)
            for (int i = from; i < to; ++i)
                expected.push_back(i % 30000 - 15000);
        std::vector<int> heard;
        std::vector<float> block(r.chunk);
        while (heard.size() < expected.size()) {
            ASSERT_EQ(decoder->read(block.data(), r.chunk, true), r.chunk);
            for (float f : block)
                heard.push_back(int(std::lround(f * 32768)));
        }
        heard.resize(expected.size());
        const auto wrong = std::mismatch(heard.begin(), heard.end(), expected.begin());
        EXPECT_EQ(wrong.first, heard.end()) << "first wrong frame " << (wrong.first - heard.begin()) << " heard " << (wrong.first != heard.end() ? *wrong.first : 0) << " not " << (wrong.first != heard.end() ? *wrong.second : 0);
        // The place told follows the same path: the last frame heard is the last of the last stretch.
        const double played = double(expected.size() - 1) / 48000;
        EXPECT_NEAR(decoder->placeAfter(r.startSeconds, played, true) * 48000, r.stretches.back().second - 1, 0.01);
    }
}

} // namespace
