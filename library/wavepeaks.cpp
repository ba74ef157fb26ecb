// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/wavepeaks.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace library {

namespace {

// Frames decoded at a time: large enough that the decoder's own overhead vanishes, small enough
// that a cancel is seen within a millisecond or so.
constexpr std::size_t kChunkFrames = 2048;

/// The running figures of the stretch being scanned, per band.
struct Accumulator {
    float low[2] = {FLT_MAX, FLT_MAX};
    float high[2] = {-FLT_MAX, -FLT_MAX};
    double squares[2] = {0, 0};
    std::int64_t frames = 0;
};

/// Adds `frames` frames of `bands` interleaved samples. The envelope must keep up with the decoder,
/// so the common case goes four samples at a time.
void accumulate(const float* p, std::size_t frames, int bands, Accumulator& acc)
{
    const std::size_t n = frames * std::size_t(bands);
    std::size_t i = 0;
#if defined(__SSE2__)
    if (n >= 8) {
        __m128 low = _mm_set1_ps(FLT_MAX), high = _mm_set1_ps(-FLT_MAX);
        __m128 sq0 = _mm_setzero_ps(), sq1 = _mm_setzero_ps();
        for (; i + 8 <= n; i += 8) {
            const __m128 a = _mm_loadu_ps(p + i), b = _mm_loadu_ps(p + i + 4);
            low = _mm_min_ps(low, _mm_min_ps(a, b));
            high = _mm_max_ps(high, _mm_max_ps(a, b));
            sq0 = _mm_add_ps(sq0, _mm_mul_ps(a, a));
            sq1 = _mm_add_ps(sq1, _mm_mul_ps(b, b));
        }
        alignas(16) float lo[4], hi[4], sq[4];
        _mm_store_ps(lo, low);
        _mm_store_ps(hi, high);
        _mm_store_ps(sq, _mm_add_ps(sq0, sq1));
        // With two bands the lanes alternate between them, since i moves in whole frames.
        for (int lane = 0; lane < 4; ++lane) {
            const int band = bands == 2 ? lane & 1 : 0;
            acc.low[band] = std::min(acc.low[band], lo[lane]);
            acc.high[band] = std::max(acc.high[band], hi[lane]);
            acc.squares[band] += sq[lane];
        }
    }
#endif
    for (; i < n; ++i) {
        const int band = bands == 2 ? int(i & 1) : 0;
        const float v = p[i];
        acc.low[band] = std::min(acc.low[band], v);
        acc.high[band] = std::max(acc.high[band], v);
        acc.squares[band] += double(v) * v;
    }
    acc.frames += std::int64_t(frames);
}

/// Mixes frames of more than two channels into two bands: even channels left, odd channels right,
/// as the usual channel orders put left and right speakers.
void mixToTwo(const float* in, std::size_t frames, int channels, float* out)
{
    const float evenShare = 1.0f / float((channels + 1) / 2), oddShare = 1.0f / float(channels / 2);
    for (std::size_t f = 0; f < frames; ++f) {
        float even = 0, odd = 0;
        const float* frame = in + f * std::size_t(channels);
        for (int c = 0; c < channels; c += 2)
            even += frame[c];
        for (int c = 1; c < channels; c += 2)
            odd += frame[c];
        out[2 * f] = even * evenShare;
        out[2 * f + 1] = odd * oddShare;
    }
}

} // namespace

WavePeaks::WavePeaks(int bands, int rate, std::int64_t frames)
    : bands_(std::clamp(bands, 1, 2)), rate_(rate), frames_(std::max<std::int64_t>(frames, 1)),
      bins_(int(std::min<std::int64_t>(frames_, kMaxBins))), data_(std::size_t(bands_) * std::size_t(bins_))
{
}

WavePeakScanner::~WavePeakScanner() = default;

std::unique_ptr<WavePeakScanner> WavePeakScanner::open(const std::string& path)
{
    std::unique_ptr<platform::SoundReader> reader = platform::SoundReader::open(path);
    if (!reader)
        return nullptr;
    const std::int64_t frames = reader->frames();
    if (frames <= 0)
        return nullptr;
    std::unique_ptr<WavePeakScanner> scanner(new WavePeakScanner);
    scanner->peaks_ = std::make_shared<WavePeaks>(reader->channels() == 1 ? 1 : 2, reader->rate(), frames);
    scanner->reader_ = std::move(reader);
    return scanner;
}

bool WavePeakScanner::run(const std::atomic<bool>& cancel, const std::function<void(int binsDone)>& progress)
{
    platform::SoundReader& reader = *reader_;
    WavePeaks& peaks = *peaks_;
    const int channels = reader.channels();
    const int bands = peaks.bands();
    std::vector<float> decoded(kChunkFrames * std::size_t(channels));
    std::vector<float> mixed(channels > 2 ? kChunkFrames * 2 : 0);

    int bin = 0;
    std::int64_t position = 0;
    std::int64_t binEnd = peaks.binStart(1);
    Accumulator acc;
    while (bin < peaks.bins()) {
        if (cancel.load(std::memory_order_relaxed))
            return false;
        const std::size_t got = reader.read(decoded.data(), kChunkFrames);
        if (got == 0)
            break;
        const float* samples = decoded.data();
        if (channels > 2) {
            mixToTwo(decoded.data(), got, channels, mixed.data());
            samples = mixed.data();
        }
        // Split the chunk at the stretches' borders.
        std::size_t at = 0;
        while (at < got && bin < peaks.bins()) {
            const std::size_t take = std::size_t(std::min<std::int64_t>(std::int64_t(got - at), binEnd - position));
            accumulate(samples + at * std::size_t(bands), take, bands, acc);
            at += take;
            position += std::int64_t(take);
            if (position < binEnd)
                continue;
            for (int b = 0; b < bands; ++b) {
                PeakBin& out = peaks.binToWrite(b, bin);
                out.low = acc.low[b];
                out.high = acc.high[b];
                out.rms = float(std::sqrt(acc.squares[b] / double(acc.frames)));
            }
            acc = Accumulator{};
            ++bin;
            binEnd = peaks.binStart(bin + 1);
        }
        peaks.markDone(bin);
        if (progress)
            progress(bin);
    }
    // The data ended before the header said: what was heard of the last stretch counts, the rest
    // stays empty, and the picture is final.
    if (acc.frames > 0 && bin < peaks.bins())
        for (int b = 0; b < bands; ++b)
            peaks.binToWrite(b, bin) =
                PeakBin{acc.low[b], acc.high[b], float(std::sqrt(acc.squares[b] / double(acc.frames)))};
    peaks.markDone(peaks.bins());
    if (progress)
        progress(peaks.bins());
    return true;
}

} // namespace library
