// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the envelope of a wave file made from fuzzed format fields and samples, or of any RIFF or
// RF64 bytes: the stretches tile the length the header gives, and every finished one holds samples
// within [-1, 1] and a loudness between 0 and 1.
#include "fuzz/scratchdrive.h"
#include "library/wavepeaks.h"

#include <atomic>
#include <cmath>

namespace {

bool sane(const library::PeakBin& b)
{
    return b.empty() || (b.low >= -1.0f && b.high <= 1.0f && b.low <= b.high && b.rms >= 0.0f && b.rms <= 1.0f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzzing::ScratchDrive& drive = fuzzing::ScratchDrive::get("tonfolio-fuzz-wavepeaks-");
    const std::string wave = fuzzing::waveFromFields(data, size);
    drive.writeInput(wave.data(), wave.size());
    const auto scanner = library::WavePeakScanner::open(fuzzing::ScratchDrive::kInput);
    if (!scanner) {
        drive.removeInput();
        return 0;
    }
    const std::atomic<bool> cancel{false};
    const bool complete = scanner->run(cancel);
    drive.removeInput();
    const library::WavePeaks& peaks = *scanner->peaks();
    if (!complete || peaks.bins() < 1 || peaks.bins() > library::WavePeaks::kMaxBins ||
        peaks.binStart(0) != 0 || peaks.binStart(peaks.bins()) != peaks.frames())
        std::abort();
    for (int i = 0; i < peaks.bins(); ++i) {
        if (peaks.binStart(i) > peaks.binStart(i + 1))
            std::abort();
        for (int band = 0; band < peaks.bands(); ++band)
            if (!sane(peaks.bin(band, i)))
                std::abort();
    }
    return 0;
}
