// SPDX-License-Identifier: GPL-3.0-or-later
// What the decoder tells of a wave besides its samples: the speakers of its channels.
#include "platform/sound/sounddecoder.h"
#include "support/tempdrive.h"

#include <gtest/gtest.h>

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

} // namespace
