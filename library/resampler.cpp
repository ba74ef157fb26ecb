// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/resampler.h"

#include <samplerate.h>

#include <algorithm>
#include <climits>
#include <cmath>

namespace library {

bool Resampler::converts(int fromRate, int toRate)
{
    return fromRate > 0 && toRate > 0 && src_is_valid_ratio(double(toRate) / fromRate);
}

Resampler::Resampler(int fromRate, int toRate, Quality quality)
{
    if (!converts(fromRate, toRate))
        return;
    ratio_ = double(toRate) / fromRate;
    // Loudness wants the whole band kept; tempo, pitch and key do with the cheapest sinc.
    int error = 0;
    state_ = src_new(quality == Quality::Measure ? SRC_SINC_MEDIUM_QUALITY : SRC_SINC_FASTEST, 1, &error);
}

Resampler::~Resampler()
{
    if (state_)
        src_delete(state_);
}

void Resampler::process(const float* in, std::size_t count, std::vector<float>& out)
{
    run(in, count, false, out);
}

void Resampler::finish(std::vector<float>& out)
{
    const float none = 0;
    run(&none, 0, true, out);
}

void Resampler::run(const float* in, std::size_t count, bool last, std::vector<float>& out)
{
    if (!state_)
        return;
    // The converter counts in longs; blocks keep each call small.
    constexpr std::size_t kBlock = 1 << 16;
    do {
        const std::size_t n = std::min(count, kBlock);
        SRC_DATA data{};
        data.data_in = in;
        data.input_frames = long(n);
        data.src_ratio = ratio_;
        data.end_of_input = last && n == count ? 1 : 0;
        const std::size_t room = std::size_t(std::ceil(double(n) * ratio_)) + 256;
        const std::size_t at = out.size();
        out.resize(at + room);
        data.data_out = out.data() + at;
        data.output_frames = long(room);
        if (src_process(state_, &data) != 0) {
            out.resize(at);
            src_delete(state_);
            state_ = nullptr;
            return;
        }
        out.resize(at + std::size_t(data.output_frames_gen));
        const auto used = std::size_t(data.input_frames_used);
        in += used;
        count -= used;
        // At the end the converter may need several calls to give out all it holds.
        if (data.end_of_input && data.output_frames_gen == 0)
            return;
        if (!last && used == 0 && data.output_frames_gen == 0)
            return;
    } while (count > 0 || last);
}

} // namespace library
