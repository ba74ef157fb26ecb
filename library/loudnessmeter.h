// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Loudness after ITU-R BS.1770 / EBU R128, with the channel weights of the file's speaker layout, at
// any sample rate, and for sounds too short for the gated measure.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace library {

/// Speaker bits of a WAVE_FORMAT_EXTENSIBLE channel mask, in the order the channels are stored.
namespace speaker {
enum : std::uint32_t {
    FrontLeft = 0x1,
    FrontRight = 0x2,
    FrontCenter = 0x4,
    LowFrequency = 0x8,
    BackLeft = 0x10,
    BackRight = 0x20,
    FrontLeftOfCenter = 0x40,
    FrontRightOfCenter = 0x80,
    BackCenter = 0x100,
    SideLeft = 0x200,
    SideRight = 0x400,
    TopCenter = 0x800,
    TopFrontLeft = 0x1000,
    TopFrontCenter = 0x2000,
    TopFrontRight = 0x4000,
    TopBackLeft = 0x8000,
    TopBackCenter = 0x10000,
    TopBackRight = 0x20000,
};
}

/// The weight of each channel in the sum of loudness: 0 for the low-frequency channel, 1.41 for
/// the surrounds beside and behind the listener, 1 for the rest. A mask that names as many speakers
/// as there are channels gives them in order; otherwise the channels take the usual layout of their
/// count (mono, stereo, 3.0, 4.0, 5.0, 5.1, 6.1, 7.1), and any channel past eight counts 1.
std::vector<double> loudnessWeights(int channels, std::uint32_t channelMask);

struct Loudness {
    double lufs;     ///< -inf for digital silence; NaN when it could not be measured
    bool wholeSound; ///< the gated measure had no block over the gate (a sound under 0.4 s, or one
                     ///< very quiet): lufs is the weighted loudness of the whole sound, ungated
};

/// The gain in dB that brings a sound of this loudness to `target` LUFS, a boost no larger than keeps
/// its peak at or under `ceiling` dBFS; 0 for a sound without a usable loudness or peak (not
/// measured, silent), which then plays as it is.
double loudnessMatchGain(double lufs, double peakDb, double target = -18.0, double ceiling = -1.0);

class LoudnessMeter {
public:
    /// Rates far from 48 kHz are measured through a copy converted to 48 kHz, where the weighting
    /// filters are what the standard draws; more channels than libebur128 takes (64) measure nothing.
    LoudnessMeter(int rate, int channels, std::uint32_t channelMask);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    /// Adds interleaved frames of finite samples.
    void add(const float* frames, std::size_t count);
    Loudness finish();

    /// The rate a sound of `rate` is measured at.
    static int measuringRate(int rate);

private:
    struct State;
    void convert(const float* frames, std::size_t count, bool last);
    void measure(const float* frames, std::size_t count);
    std::unique_ptr<State> d_;
};

} // namespace library
